"""Seeded gradient-noise fields of 1 to 16 dimensions and the pictures they make."""

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
