#!/usr/bin/env python3
"""Coverage-guided fuzzing of every entry point of veldra._native.

The fuzzer's bytes pick one of the property tests in tests/python and
become the choices of its strategies (Hypothesis's fuzz_one_input), so the
fuzzer explores the same hostile values and checks the same promises as
the property tests, only for far more inputs. A failing input is a finding.

    python fuzz/api.py CORPUS... -max_total_time=30   fuzz (libFuzzer flags)
    python fuzz/api.py --replay CORPUS...             run every input once

Built with -DVELDRA_FUZZ=ON (clang), the extension feeds its own coverage
to the fuzzer; otherwise only the Python code's branches guide it.
"""

import ctypes
import glob
import importlib
import inspect
import os
import sys

import atheris

# An extension built for fuzzing calls the coverage hooks of the libFuzzer
# inside atheris, which must therefore be visible before it is imported.
_core = glob.glob(os.path.join(os.path.dirname(atheris.__file__), "core_with_libfuzzer*.so"))
if _core:
    ctypes.CDLL(_core[0], mode=os.RTLD_NOW | os.RTLD_GLOBAL)

TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python")
sys.path.insert(0, TESTS)

# Every property test whose arguments all come from its strategies.
TARGETS = [
    test.hypothesis.fuzz_one_input
    for path in sorted(glob.glob(os.path.join(TESTS, "test_properties_*.py")))
    for name, test in inspect.getmembers(importlib.import_module(os.path.basename(path)[:-3]))
    if name.startswith("test_") and hasattr(test, "hypothesis") and not inspect.signature(test).parameters
]


def test_one_input(data):
    if data:
        TARGETS[data[0] % len(TARGETS)](data[1:])


def replay(paths):
    files = [os.path.join(root, f) for p in paths for root, _, names in os.walk(p) for f in names]
    for path in sorted(files):
        with open(path, "rb") as f:
            test_one_input(f.read())
    print(f"replayed {len(files)} inputs")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--replay":
        replay(sys.argv[2:])
    else:
        atheris.Setup(sys.argv, test_one_input, internal_libfuzzer=True)
        atheris.Fuzz()
