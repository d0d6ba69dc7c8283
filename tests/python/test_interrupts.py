"""Ctrl-C stops a call that would run for many seconds: within a second, with
what the signal handler raised, and the next call gives the pinned bytes."""

import os
import signal
import subprocess
import sys
import time

import pytest

from test_pinned import PINNED

CHILD = r"""
import hashlib, os, signal, struct, sys, tempfile, time
sys.path.insert(0, sys.argv[3])
from test_pinned import CASES
from veldra import Field, Globe, Hair, Instance, Relief, Renderer
from veldra._extras import PngWriter, relief_region

if sys.argv[2] == "own":
    def handler(signum, frame):
        raise RuntimeError("stopped by the handler")
    signal.signal(signal.SIGINT, handler)
long_calls = {
    "globe": lambda: Renderer(Instance([3, 3, 3, 3], seed=5)).globe(4096, 4096, Globe(samples=4)),
    "hair": lambda: Renderer(Instance([6, 6], seed=3)).hair(4096, 4096, Hair(count=400000)),
    "table": lambda: Instance([1] * 12, seed=1).table([3] * 10 + [2] * 2),
    # These two run with the interpreter lock released.
    "region": lambda: relief_region(Field([8, 8], 2, octaves=8), [1000, 1000], Relief(),
                                    [0, 0], [8001, 8001], 0.0, 1.0),
    "png": lambda: PngWriter(os.path.join(tempfile.mkdtemp(), "x.png"), 8000, 8000, 3)
                   .write_rows(noise),
}
noise = os.urandom(8000 * 8000 * 3) if sys.argv[1] == "png" else b""
print("started", flush=True)
try:
    long_calls[sys.argv[1]]()
    print("finished", flush=True)
except BaseException as e:
    stopped = time.monotonic()
    data = CASES[sys.argv[4]]()
    if isinstance(data, list):
        data = struct.pack(f"<{len(data)}d", *data)
    print(type(e).__name__, str(e), stopped, hashlib.sha256(data).hexdigest(), sep="|", flush=True)
"""


@pytest.mark.parametrize("call, handler, raised, next_call", [
    ("globe", "default", "KeyboardInterrupt", "globe"),
    ("hair", "default", "KeyboardInterrupt", "hair"),
    ("table", "default", "KeyboardInterrupt", "table_6d"),
    ("table", "own", "RuntimeError", "table_4d"),
    ("region", "default", "KeyboardInterrupt", "table_4d"),
    ("png", "own", "RuntimeError", "table_6d"),
])
def test_sigint_stops_a_long_call_and_the_next_call_gives_the_pinned_bytes(
        call, handler, raised, next_call):
    here = os.path.dirname(__file__)
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD, call, handler, here, next_call],
        stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "started\n"
        time.sleep(0.3)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        name, message, stopped, digest = child.stdout.readline().strip().split("|")
        assert child.wait(timeout=30) == 0
    finally:
        child.kill()
    assert (name, message) == (raised, "stopped by the handler" if handler == "own" else "")
    assert float(stopped) - sent < 1.0
    assert digest == PINNED[next_call]
