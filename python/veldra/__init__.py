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
]
