"""Pickling and copying of every class, registered with copyreg so that the
classes themselves stay exactly as they are.

Fields and renderers are pickled by their arguments (a field rebuilds bit
for bit from its dims and seed), settings by their fields, tables and
images by their values, and palette and shape members by name, so that
they unpickle to the very same member.
"""

import copyreg
from typing import Any, Callable, TypeVar

from veldra._extras import image_from_bytes, table_from_bytes
from veldra._native import Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table

Settings = TypeVar("Settings", Relief, Globe, Hair)
Reduced = tuple[Callable[..., object], tuple[Any, ...]]


def _field_names(cls: type) -> list[str]:
    """The constructor's parameters, which are the settings' fields."""
    signature: str = getattr(cls, "__text_signature__")
    return [part.split("=")[0].strip() for part in signature.strip("()").split(",")]


FIELDS = {cls: _field_names(cls) for cls in (Relief, Globe, Hair)}
MEMBER_NAMES = {
    cls: {int(member): name for name, member in vars(cls).items() if isinstance(member, cls)}
    for cls in (Palette, Shape)
}


def settings_from_fields(cls: type[Settings], fields: dict[str, Any]) -> Settings:
    """Rebuilds a settings object from its fields, by keyword."""
    return cls(**fields)


def _reduce_settings(settings: Relief | Globe | Hair) -> Reduced:
    cls = type(settings)
    return settings_from_fields, (cls, {name: getattr(settings, name) for name in FIELDS[cls]})


def _reduce_member(member: Palette | Shape) -> Reduced:
    cls = type(member)
    return getattr, (cls, MEMBER_NAMES[cls][int(member)])


def _reduce_instance(field: Instance) -> Reduced:
    return Instance, (field.dims, field.seed)


def _reduce_renderer(renderer: Renderer) -> Reduced:
    return Renderer, (renderer.instance(),)


def _reduce_table(table: Table) -> Reduced:
    return table_from_bytes, (table.shape, bytes(table))


def _reduce_image(image: Image) -> Reduced:
    return image_from_bytes, (image.width, image.height, image.channels, image.pixels)


for _cls in (Relief, Globe, Hair):
    copyreg.pickle(_cls, _reduce_settings)
for _cls in (Palette, Shape):
    copyreg.pickle(_cls, _reduce_member)
copyreg.pickle(Instance, _reduce_instance)
copyreg.pickle(Renderer, _reduce_renderer)
copyreg.pickle(Table, _reduce_table)
copyreg.pickle(Image, _reduce_image)
