"""Faults a hostile caller can provoke: file errors by kind, memory running
out in the buffer protocol, re-entrant setters, odd keyword names, changes
to the classes themselves, and the version."""

import errno
import gc
import os
import subprocess
import sys
import tempfile
import textwrap
import tomllib
from importlib import metadata
from pathlib import Path

import pytest

import veldra
from veldra import Globe, Hair, Instance, Palette, PngWriter, Relief, Renderer, _native, image_from_bytes

CLASSES = [getattr(_native, name) for name in _native.__all__ if isinstance(getattr(_native, name), type)]


def _image():
    return Renderer(Instance([2, 2])).grayscale([2, 2])


@pytest.mark.parametrize("where, code", [
    (lambda d: d / "missing" / "a.png", errno.ENOENT),
    (lambda d: d, errno.EISDIR),
    (lambda d: d / "file" / "a.png", errno.ENOTDIR),
])
def test_write_png_raises_the_os_error_python_would(tmp_path, where, code):
    (tmp_path / "file").write_bytes(b"")
    path = where(tmp_path)
    with pytest.raises(OSError) as caught:
        _image().write_png(path)
    e = caught.value
    assert isinstance(e, type(OSError(code, "")))
    assert (e.errno, e.strerror, e.filename) == (code, os.strerror(code), str(path))
    assert e.args == (str(e),) and str(e) == f"{os.strerror(code)} (os error {code})"


def in_child(body):
    """The text body() returns in a forked child, which then ends at once."""
    read, write = os.pipe()
    if (pid := os.fork()) == 0:
        try:
            os.write(write, body().encode())
        finally:
            os._exit(0)
    os.close(write)
    with os.fdopen(read) as pipe:
        outcome = pipe.read()
    os.waitpid(pid, 0)
    return outcome


def test_write_png_fails_rather_than_write_in_place_where_the_folder_refuses_new_files():
    """The old file is writable, its folder is not. Root ignores permission
    bits, so the write runs as nobody then."""
    with tempfile.TemporaryDirectory() as folder:
        old = Path(folder, "old.png")
        old.write_bytes(b"old")
        old.chmod(0o666)
        os.chmod(folder, 0o555)

        def write():
            try:
                if os.getuid() == 0:
                    os.setgid(65534)
                    os.setuid(65534)
            except OSError:
                return "cannot drop root"
            try:
                _image().write_png(old)
            except PermissionError as e:
                return f"{e.errno} {e.filename}"
            return "written"

        if (outcome := in_child(write)) == "cannot drop root":
            pytest.skip(outcome)
        assert (outcome, old.read_bytes()) == (f"{errno.EACCES} {old}", b"old")


def test_a_forked_child_leaves_its_parents_png_writer_alone(tmp_path):
    """A child that drops its copy of the writer keeps the parent's
    temporary file; the target has the longest name a file can have."""
    path = tmp_path / ("n" * 251 + ".png")
    writer = PngWriter(path, 2, 3, 1)

    def drop():
        nonlocal writer
        del writer
        gc.collect()
        return "dropped"

    assert in_child(drop) == "dropped"
    writer.write_rows(bytes(range(6)))
    writer.close()
    assert os.listdir(tmp_path) == [path.name]
    image_from_bytes(2, 3, 1, bytes(range(6))).write_png(tmp_path / "same.png")
    assert path.read_bytes() == (tmp_path / "same.png").read_bytes()


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="an address-space limit does not work under AddressSanitizer")
def test_buffer_request_when_memory_is_exhausted_raises_memory_error():
    script = textwrap.dedent("""
        import ctypes, resource
        from veldra import Instance
        table = Instance([3, 3]).table([2, 2])
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, (size * 1024 + (1 << 20), resource.RLIM_INFINITY))
        malloc = ctypes.CDLL(None).malloc
        malloc.restype = ctypes.c_void_p
        while malloc(16):
            pass
        try:
            memoryview(table)
        except MemoryError:
            print("MemoryError")
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stdout.split()) == (0, ["MemoryError"]), run.stderr


class Meddling:
    """A value whose conversion sets another field of the same object."""

    def __init__(self, settings, field, value, converted):
        self.settings, self.field, self.value, self.converted = settings, field, value, converted

    def _meddle(self):
        setattr(self.settings, self.field, self.value)
        return self.converted

    def __float__(self):
        return self._meddle()

    def __index__(self):
        return self._meddle()

    def __iter__(self):
        return iter(self._meddle())

    def __getitem__(self, index):  # a sequence, iterated by __iter__
        return self.converted[index]


@pytest.mark.parametrize("settings, name, converted, field, value", [
    (Relief(), "gamma", 0.25, "height", 7.0),
    (Hair(), "count", 3, "palette", Palette.HEAT),
    (Globe(), "background", (1, 2, 3), "samples", 4),
])
def test_setter_stores_its_field_alone(settings, name, converted, field, value):
    setattr(settings, name, Meddling(settings, field, value, converted))
    assert (getattr(settings, name), getattr(settings, field)) == (converted, value)


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_classes_refuse_changes(cls):
    existing = next(name for name in vars(cls) if not name.startswith("__"))
    for change in (lambda: setattr(cls, existing, 5), lambda: delattr(cls, existing),
                   lambda: setattr(cls, "added", 5)):
        with pytest.raises(TypeError, match="immutable type"):
            change()
    assert existing in vars(cls) and "added" not in vars(cls)


def test_version_is_the_distributions():
    try:
        expected = metadata.version("veldra")
    except metadata.PackageNotFoundError:
        expected = "0+unknown"
    if expected != "0+unknown":
        pyproject = Path(__file__).parents[2] / "pyproject.toml"
        assert expected == tomllib.loads(pyproject.read_text())["project"]["version"]
    assert veldra.__version__ == expected
