"""The gallery command, python -m veldra."""

import re
import subprocess
import sys

import pytest

from veldra import gallery

PIL = pytest.importorskip("PIL.Image")


@pytest.mark.parametrize("size", [2, 47, 48])
def test_gallery_writes_every_picture_it_lists_at_the_size_asked(tmp_path, size):
    out = tmp_path / "gallery"
    lines = []
    written = gallery.render_gallery(str(out), seed=3, size=size, report=lines.append)
    assert len(written) == len(gallery.PICTURES) == 14
    assert {p.kind for p in gallery.PICTURES} == {"grayscale", "palette", "rgb", "relief", "globe", "hair", "fractal"}
    for line, path in zip(lines, written):
        width, height = map(int, re.search(r"(\d+) x (\d+)", line).groups())
        with PIL.open(path) as picture:
            assert picture.format == "PNG" and picture.size == (width, height) == (size, size)
    assert lines[-1].startswith("wrote 14 files")


@pytest.mark.parametrize("kind, flag, names, said", [
    ("relief", "--quiet", ["relief-billow.png", "relief-ridged.png", "relief-smooth.png"], ""),
    ("globe", "--progress", ["globe.png"], "rendering globe: picture 1 of 1, 0 s elapsed\n"),
])
def test_command_line_only_one_kind(tmp_path, kind, flag, names, said):
    result = subprocess.run(
        [sys.executable, "-m", "veldra", "--out", str(tmp_path), "--size", "32", "--only", kind, "--seed", "5", flag],
        capture_output=True, text=True, check=True)
    assert sorted(p.name for p in tmp_path.iterdir()) == names and result.stderr == said
    lines = result.stdout.splitlines()
    assert len(lines) == len(names) + 1
    assert lines[-1].startswith(f"wrote {len(names)} file{'s' if len(names) > 1 else ''}, ")


def test_same_seed_same_files(tmp_path):
    first = gallery.render_gallery(str(tmp_path / "a"), seed=9, size=24, only="hair", report=lambda _: None)
    second = gallery.render_gallery(str(tmp_path / "b"), seed=9, size=24, only="hair", report=lambda _: None)
    assert [open(p, "rb").read() for p in first] == [open(p, "rb").read() for p in second]


@pytest.mark.parametrize("arguments", [
    ["--only", "sculpture"], ["--size", "1"], ["--size", "100000"], ["--seed", "-1"], ["--seed", str(2**64)],
    ["--out", "{tmp}/file"], ["--out", "{tmp}/file/sub"],
])
def test_mistakes_are_one_line_and_status_2(arguments, tmp_path):
    (tmp_path / "file").write_bytes(b"kept")
    arguments = [a.format(tmp=tmp_path) for a in arguments]
    result = subprocess.run([sys.executable, "-m", "veldra", "--out", str(tmp_path / "out"), *arguments],
                            capture_output=True, text=True)
    assert result.returncode == 2 and len(result.stderr.splitlines()) == 1, result.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["file"]
    assert (tmp_path / "file").read_bytes() == b"kept"


def test_help():
    result = subprocess.run([sys.executable, "-m", "veldra", "--help"], capture_output=True, text=True, check=True)
    assert "--only KIND" in result.stdout and "veldra-gallery/" in result.stdout
