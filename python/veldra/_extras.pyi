from collections.abc import Sequence

from typing_extensions import Buffer

from veldra._native import Image, Table

__all__ = ["table_from_bytes", "image_from_bytes"]

def table_from_bytes(shape: Sequence[int], data: Buffer) -> Table: ...
def image_from_bytes(width: int, height: int, channels: int, pixels: Buffer) -> Image: ...
