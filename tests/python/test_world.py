"""The world command, python -m veldra.world: every argument checked before
any work, progress on standard error."""

import subprocess
import sys

import pytest

pytest.importorskip("dask")


def world(tmp_path, *arguments):
    return subprocess.run([sys.executable, "-m", "veldra.world", *arguments], cwd=tmp_path,
                          capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("arguments, message", [
    (["--octaves", "0"], "--octaves must be 1 to 32, got 0"),
    (["--octaves", "40"], "--octaves must be 1 to 32, got 40"),
    (["--size", "8"], "--size must be at least 9, got 8"),
    (["--workers", "-1"], "--workers must not be negative, got -1"),
    (["--chunk", "4", "--size", "2049"], "--chunk must be at least 64, got 4"),
    (["--chunk", "100", "--size", "131073"],
     "--chunk 100 cuts the map into 1718721 chunks, more than 100000; use --chunk 415 or more"),
    (["--out", "no/such/folder.png"], "cannot write --out no/such/folder.png: No such file or directory"),
    (["--out", "."], "cannot write --out .: it is a folder"),
    (["--quiet", "--progress"], "not allowed with argument"),
])
def test_mistakes_are_one_line_and_status_2_before_any_work(tmp_path, arguments, message):
    run = world(tmp_path, *arguments)
    assert run.returncode == 2 and run.stderr.count("\n") == 1 and message in run.stderr, run.stderr
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("flag, said", [
    ("--progress", ["about ", "value range of the whole map:", "% Completed", "writing a.png: band 1 of 1"]),
    ("--quiet", []),
])
def test_progress_on_standard_error_and_seeds_modulo_2_64(tmp_path, flag, said):
    run = world(tmp_path, "--size", "33", "--seed", "-1", "--out", "a.png", flag)
    assert run.returncode == 0 and run.stdout.startswith("33 x 33 pixels in ")
    assert all(part in run.stderr for part in said) and bool(run.stderr) == bool(said), run.stderr
    world(tmp_path, "--size", "33", "--seed", str(2**64 - 1), "--out", "b.png", "--quiet")
    assert (tmp_path / "a.png").read_bytes() == (tmp_path / "b.png").read_bytes()
