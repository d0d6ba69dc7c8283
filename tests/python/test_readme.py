"""Every python block of README.md runs as a script: the blocks of one
section together, in order, in a folder of their own. Blocks that take
long run smaller, by replacing exact text of the block here (never the
README); a replacement whose text left the README fails the test."""

import os
import re
import subprocess
import sys

import pytest

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")
SMALLER = {  # section -> (text in the README, what the test runs instead)
    "A tour": [
        ("globe(512, 512, Globe(samples=4", "globe(64, 64, Globe(samples=2"),
        ("Hair(count=45000, steps=170", "Hair(count=500, steps=40"),
        ("hair(1024, 1024, coat)", "hair(128, 128, coat)"),
        ("uniform(0, 8, (1_000_000, 2))", "uniform(0, 8, (10_000, 2))"),
    ],
    "Beyond one machine": [
        ("Field([64, 64], seed=7, octaves=8)", "Field([4, 4], seed=7, octaves=3)"),
        ("start=[2048, 1024], shape=[512, 512]", "start=[128, 64], shape=[16, 16]"),
        ("chunks=1024", "chunks=100"),
    ],
}


def sections():
    """(title, the python blocks of each ## section, joined)."""
    text = open(README, encoding="utf-8").read()
    for part in re.split(r"^## ", text, flags=re.M)[1:]:
        blocks = re.findall(r"^```python\n(.*?)^```", part, flags=re.M | re.S)
        if blocks:
            yield part.splitlines()[0], "\n".join(blocks)


SECTIONS = dict(sections())


def test_every_section_with_code_is_known():
    assert set(SECTIONS) == set(SMALLER)


@pytest.mark.parametrize("title", sorted(SMALLER))
def test_the_readme_code_runs_as_a_script(tmp_path, title):
    pytest.importorskip("numpy")
    if title == "Beyond one machine":
        pytest.importorskip("distributed")
    script = SECTIONS[title]
    for shown, run in SMALLER[title]:
        assert shown in script, f"the README no longer says {shown!r}"
        script = script.replace(shown, run)
    (tmp_path / "example.py").write_text(script, encoding="utf-8")
    result = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
