"""Names of an earlier layout, when these lived in a second native module:
code that imports them from here and pickles that name
``veldra._extras.table_from_bytes`` or ``image_from_bytes`` keep working.
Everything here is the package's own; import it from ``veldra``."""

from veldra import (
    Field,
    PngWriter,
    colored_region,
    grayscale_region,
    image_from_bytes,
    relief_region,
    table_from_bytes,
    value_range,
)

__all__ = [
    "table_from_bytes",
    "image_from_bytes",
    "Field",
    "value_range",
    "grayscale_region",
    "colored_region",
    "relief_region",
    "PngWriter",
]
