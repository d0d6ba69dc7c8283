"""A child process stopped with Ctrl-C, for the tests of prompt stops."""

import signal
import subprocess
import sys
import time


def sigint_latency(code, *args, delay):
    """Runs ``code`` in a child, which prints "started" and, once stopped by
    KeyboardInterrupt, the time of day; sends SIGINT ``delay`` seconds after
    "started" and returns the seconds until the child stopped. The child
    must then exit cleanly."""
    child = subprocess.Popen([sys.executable, "-c", code, *args], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "started\n"
        time.sleep(delay)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        stopped = float(child.stdout.readline())
        assert child.wait(timeout=30) == 0
    finally:
        child.kill()
    return stopped - sent
