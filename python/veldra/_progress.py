"""Progress of long work on standard error: what is being done, step k of n,
the time elapsed and an estimate of the time left. Lines are rewritten in
place on a terminal and written one after another elsewhere."""

from __future__ import annotations

import sys
import time
from types import TracebackType
from typing import TextIO


def duration(seconds: float) -> str:
    """A duration as people say it: 42 s, 17 min, 2.5 h."""
    if seconds < 99.5:
        return f"{seconds:.0f} s"
    if seconds < 99.5 * 60:
        return f"{seconds / 60:.0f} min"
    return f"{seconds / 3600:.1f} h"


def is_terminal(stream: TextIO) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):  # a stand-in without isatty, or closed
        return False


class Progress:
    """Shown when ``shown`` is True, or when it is None and the stream is a terminal."""

    def __init__(self, shown: bool | None, stream: TextIO | None = None) -> None:
        self.stream = sys.stderr if stream is None else stream
        self.in_place = is_terminal(self.stream)
        self.shown = self.in_place if shown is None else bool(shown)
        self.started = time.monotonic()
        self._width = 0  # of the line being rewritten in place

    def say(self, line: str) -> None:
        """One line that stays."""
        if self.shown:
            self.clear()
            self.stream.write(line + "\n")
            self.stream.flush()

    def step(self, what: str, done: int, total: int) -> None:
        """``what k of n``: ``done`` of ``total`` steps are complete and step ``done + 1`` starts."""
        if not self.shown:
            return
        elapsed = time.monotonic() - self.started
        text = f"{what} {done + 1} of {total}, {duration(elapsed)} elapsed"
        if done:
            text += f", about {duration(elapsed / done * (total - done))} left"
        if self.in_place:
            self.stream.write("\r" + text.ljust(self._width))
            self._width = len(text)
        else:
            self.stream.write(text + "\n")
        self.stream.flush()

    def clear(self) -> None:
        """Rubs out the line being rewritten in place, if any."""
        if self._width:
            self.stream.write("\r" + " " * self._width + "\r")
            self.stream.flush()
            self._width = 0

    def __enter__(self) -> Progress:
        return self

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.clear()
