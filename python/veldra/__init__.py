"""Seeded gradient-noise fields of 1 to 16 dimensions and the pictures they make."""

import sys as _sys
from importlib import machinery as _machinery
from importlib import metadata as _metadata
from importlib import util as _util

from veldra import _native
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


def _load_extras() -> None:
    """Registers veldra._extras, the second module of _native's library."""
    name = __name__ + "._extras"
    if name in _sys.modules:
        return
    loader = _machinery.ExtensionFileLoader(name, _native.__file__)
    spec = _util.spec_from_file_location(name, _native.__file__, loader=loader)
    assert spec is not None
    module = _util.module_from_spec(spec)
    _sys.modules[name] = module
    loader.exec_module(module)


_load_extras()

from veldra import _extras, _pickling  # noqa: E402  (registers the reducers)
from veldra._extras import Field  # noqa: E402

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
]
