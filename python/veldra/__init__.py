"""Seeded gradient-noise fields of 1 to 16 dimensions and the pictures they make."""

from importlib import metadata as _metadata

from veldra._native import (
    MAX_DIMS,
    MAX_SAMPLES,
    Globe,
    Hair,
    Image,
    Instance,
    Palette,
    Relief,
    Renderer,
    Shape,
    Table,
)
from veldra._native import _colored_region as colored_region
from veldra._native import _Field as Field
from veldra._native import _grayscale_region as grayscale_region
from veldra._native import _image_from_bytes as image_from_bytes
from veldra._native import _PngWriter as PngWriter
from veldra._native import _relief_region as relief_region
from veldra._native import _table_from_bytes as table_from_bytes
from veldra._native import _value_range as value_range

from veldra import _pickling  # noqa: E402, F401  (registers the reducers)
from veldra._png import heightmap, write_png

try:
    __version__: str = _metadata.version("veldra")
except _metadata.PackageNotFoundError:
    # Imported from a source tree or a build folder, never installed.
    __version__ = "0+unknown"

__all__ = [
    "MAX_DIMS",
    "MAX_SAMPLES",
    "Palette",
    "Shape",
    "Relief",
    "Globe",
    "Hair",
    "Instance",
    "Table",
    "Image",
    "Renderer",
    "Field",
    "PngWriter",
    "table_from_bytes",
    "image_from_bytes",
    "value_range",
    "grayscale_region",
    "colored_region",
    "relief_region",
    "write_png",
    "heightmap",
]
