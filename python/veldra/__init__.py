"""Seeded gradient-noise fields and the pictures they make."""

from veldra import _native
from veldra._native import *  # noqa: F401,F403

__all__ = list(_native.__all__)
