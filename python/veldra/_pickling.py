"""Pickling and copying of every class, registered with copyreg so that the
classes themselves stay exactly as they are.

Fields and renderers are pickled by their arguments (a field rebuilds bit
for bit from its dims and seed), settings by their fields, tables and
images by their values, and palette and shape members by name, so that
they unpickle to the very same member.
"""

import copyreg
from typing import Any, Callable, TypeVar

from veldra._native import Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table
from veldra._native import _Field as Field
from veldra._native import _image_from_bytes as image_from_bytes
from veldra._native import _table_from_bytes as table_from_bytes

T = TypeVar("T")
Settings = TypeVar("Settings", Relief, Globe, Hair)
Member = TypeVar("Member", Palette, Shape)
# What a reducer returns: a callable that rebuilds an object, and its arguments.
Reduced = tuple[Callable[..., T], tuple[Any, ...]]


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
    """Rebuilds a settings object from its fields, by keyword (so that a
    pickle outlives a change in the order of the constructor's parameters).
    Pickles refer to this function by module and name: both must stay."""
    return cls(**fields)


def _reduce_settings(settings: Settings) -> Reduced[Settings]:
    cls = type(settings)
    return settings_from_fields, (cls, {name: getattr(settings, name) for name in FIELDS[cls]})


def _reduce_member(member: Member) -> Reduced[Member]:
    cls = type(member)
    return getattr, (cls, MEMBER_NAMES[cls][int(member)])


def _reduce_instance(field: Instance) -> Reduced[Instance]:
    return Instance, (field.dims, field.seed)


def field_from_arguments(dims: list[int], seed: int, settings: dict[str, Any]) -> Field:
    """Rebuilds a Field from its constructor's arguments, the octave settings
    by keyword. Pickles refer to this function by module and name: both must stay."""
    return Field(dims, seed, **settings)


def _reduce_field(field: Field) -> Reduced[Field]:
    settings = {name: getattr(field, name) for name in ("octaves", "lacunarity", "gain", "octave_shape", "periodic", "unbounded")}
    return field_from_arguments, (field.dims, field.seed, settings)


def _reduce_renderer(renderer: Renderer) -> Reduced[Renderer]:
    return Renderer, (renderer.instance(),)


def _reduce_table(table: Table) -> Reduced[Table]:
    return table_from_bytes, (table.shape, bytes(table))


def _reduce_image(image: Image) -> Reduced[Image]:
    return image_from_bytes, (image.width, image.height, image.channels, image.pixels)


copyreg.pickle(Relief, _reduce_settings)
copyreg.pickle(Globe, _reduce_settings)
copyreg.pickle(Hair, _reduce_settings)
copyreg.pickle(Palette, _reduce_member)
copyreg.pickle(Shape, _reduce_member)
copyreg.pickle(Instance, _reduce_instance)
copyreg.pickle(Field, _reduce_field)
copyreg.pickle(Renderer, _reduce_renderer)
copyreg.pickle(Table, _reduce_table)
copyreg.pickle(Image, _reduce_image)
