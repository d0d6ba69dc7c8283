"""Objects and classes stay valid however Python code drops its references:
a rendering still makes its Image after the class is gone from the module,
and results outlive the objects they came from."""

import gc
import subprocess
import sys
import textwrap

import pytest

from veldra import Globe, Hair, Instance, Relief, Renderer


def test_classes_deleted_from_the_module_still_make_objects():
    script = textwrap.dedent("""
        import gc
        import veldra, veldra._native as native
        renderer = native.Renderer(native.Instance([2, 2]))
        settings = native.Relief()
        for name in native.__all__:
            if not name.startswith("MAX"):
                delattr(native, name)
                delattr(veldra, name)
        gc.collect()
        made = [renderer.instance(), renderer.instance().table([2, 2]), renderer.grayscale([1, 1]),
                settings.shape, settings.palette, renderer.relief([1, 1], settings)]
        gc.collect()
        print(" ".join(type(m).__name__ for m in made), made[0].dims, made[2].width)
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == ["Instance", "Table", "Image", "Shape", "Palette", "Image", "[2,", "2]", "3"]


@pytest.mark.parametrize("make", [
    lambda: Instance([2, 3]).table([2, 2]),
    lambda: Renderer(Instance([2, 2])).grayscale([2, 2]),
    lambda: Renderer(Instance([2, 2])).instance(),
    lambda: Relief(height=2.0).palette,
    lambda: Globe().surface,
    lambda: Hair().surface,
], ids=["table", "image", "copied field", "palette", "globe surface", "hair surface"])
def test_results_outlive_what_made_them(make):
    result = make()
    gc.collect()
    text = repr(result)
    gc.collect()
    assert repr(result) == text
