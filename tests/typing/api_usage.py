"""Uses the whole public API with the types a checker should infer; mypy
--strict must accept this file (it is type-checked, and also run)."""

import os
import tempfile

import veldra
from veldra import MAX_DIMS, MAX_SAMPLES, Field, Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table


def fields() -> tuple[Instance, Table]:
    field = Instance([4, 4], seed=7)
    dims: list[int] = field.dims
    shape: list[int] = field.shape
    count: int = field.intersections + field.seed + len(dims) + len(shape)
    gradient: list[float] | None = field.gradient([0, 0])
    value: float = field.noise((1.5, 2.5)) + sum(field.force([1.5, 2.5]))
    table = field.table([8, 8])
    table_shape: list[int] = field.table_shape(range(1, 3))
    first: float | None = table.get([0, 0])
    box: Table = field.table_region([8, 8], start=(0, 8), shape=range(1, 3))
    values: list[float] = table.values
    assert count > 0 and gradient is not None and value == value and first == 0.0
    assert len(table) == len(values) and table.shape == table_shape[:0] + table.shape and box.shape == [1, 2]
    return field, table


def settings() -> tuple[Relief, Globe, Hair]:
    relief = Relief(shape=Shape.RIDGED, palette=Palette.TERRAIN, light=[0.0, 0.0, 1.0], gamma=1.5)
    relief.height = 0.5
    light: tuple[float, float, float] = relief.light
    globe = Globe(surface=relief, rgb_from_fourth_axis=False, fill=1.0, background=[0, 0, 0], samples=1)
    globe.samples = 2
    background: tuple[int, int, int] = globe.background
    hair = Hair(count=100, steps=20, color_from_field=True, palette=Palette.HEAT, light=(1.0, 0.0))
    hair.surface = globe.surface
    hair_light: tuple[float, float] = hair.light
    rgb: tuple[int, int, int] = Palette.BLUE_RED.color(0.25)
    assert int(Shape.SMOOTH) == 0 and Palette.HEAT == 2 and rgb == (140, 175, 210)
    assert light[2] == 1.0 and background == (0, 0, 0) and hair_light == (1.0, 0.0)
    return relief, globe, hair


def pictures(field: Instance, relief: Relief, globe: Globe, hair: Hair) -> list[Image]:
    flat = Renderer(field)
    cube = Renderer(Instance([2, 2, 2], seed=1))
    sphere = Renderer(Instance([2, 2, 2, 2], seed=1))
    images = [
        flat.grayscale([4, 4]),
        flat.colored([4, 4], Palette.GRAY),
        cube.rgb_channels([4, 4, 2]),
        cube.rgb_channels_at([4, 4, 2], (0, 1, 2)),
        cube.rgb_palette([4, 4, 2], 1, Palette.AZURE),
        flat.relief([4, 4], relief),
        flat.relief([4, 4]),
        sphere.globe(16, 16, globe),
        flat.hair(16, 16, hair),
    ]
    copy: Instance | Field = flat.instance()
    assert copy.dims == field.dims
    terrain = Field([4, 4], 7, octaves=3, lacunarity=2, gain=0.5, octave_shape=Shape.BILLOW, periodic=True)
    images.append(Renderer(terrain).relief([4, 4]))
    settings: tuple[int, int | float, float, Shape, bool | tuple[bool, ...], bool] = (
        terrain.octaves, terrain.lacunarity, terrain.gain, terrain.octave_shape, terrain.periodic, terrain.unbounded)
    world = Field([1, 1], 7, lacunarity=3, periodic=[False, True], unbounded=True)
    slopes: Table = world.derivative_grid([-1e9, 0.5], [0.25, 0.25], [4, 4])
    assert world.derivative([0.5, 0.5])[0] == world.derivative_at([[0.5, 0.5]]).values[0] and slopes.shape[2] == 2
    at: Table = terrain.noise_at([[0.5, -9.0]])
    assert terrain.table_region([2, 2], [1, 1], [2, 1]).shape == [2, 1]
    pulls: Table = field.force_at(memoryview(bytes(16)).cast("d", [1, 2]))
    value: float = terrain.noise([1.0, 2.0]) + sum(terrain.force((1.0, 2.0))) + at.values[0] + pulls.values[0]
    assert terrain == Field(terrain.dims, terrain.seed, octaves=3, octave_shape=Shape.BILLOW, periodic=True)
    assert terrain.table([2, 2]).shape == terrain.table_shape([2, 2]) and settings[0] == 3 and value == value
    return images


def main() -> None:
    field, table = fields()
    relief, globe, hair = settings()
    images = pictures(field, relief, globe, hair)
    with tempfile.TemporaryDirectory() as folder:
        for number, image in enumerate(images):
            size: int = image.width * image.height * image.channels
            pixel: bytes | None = image.pixel(0, 0)
            assert len(image.pixels) == size and pixel is not None
            image.write_png(os.path.join(folder, f"{number}.png"))
    view = memoryview(table)
    assert view.shape == (33, 33) and MAX_DIMS == 16 and MAX_SAMPLES == 8
    assert veldra.__all__[0] == "MAX_DIMS"
    version: str = veldra.__version__
    assert version


if __name__ == "__main__":
    main()
