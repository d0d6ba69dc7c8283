"""Flat renderings at 2049 x 2049 and PNG writing against Pillow.

Needs Pillow (pip install '.[bench]')."""

import os
import tempfile

from common import best_of, worker_counts, workers
from PIL import Image as PILImage

from veldra import Instance, Palette, Renderer

SIZE_DIVISORS = [256, 256]  # an [8, 8] field: 2049 x 2049 pixels


def main():
    renderer = Renderer(Instance([8, 8], seed=1))
    print(f"{'rendering':22} {'workers':>7} {'seconds':>8} {'ns/pixel':>9}")
    images = {}
    for name, render in [("grayscale", lambda: renderer.grayscale(SIZE_DIVISORS)),
                         ("colored", lambda: renderer.colored(SIZE_DIVISORS, Palette.TERRAIN))]:
        for count in worker_counts():
            with workers(count):
                seconds, images[name] = best_of(3, render)
            pixels = images[name].width * images[name].height
            print(f"{name:22} {count:7} {seconds:8.3f} {seconds / pixels * 1e9:9.1f}")

    print()
    print(f"{'PNG':10} {'veldra s':>9} {'Pillow s':>9} {'time ratio':>10} {'veldra bytes':>13} "
          f"{'Pillow bytes':>13} {'size ratio':>10}")
    with tempfile.TemporaryDirectory() as folder:
        for name, image in images.items():
            ours, theirs = os.path.join(folder, "veldra.png"), os.path.join(folder, "pillow.png")
            mode = "L" if image.channels == 1 else "RGB"
            picture = PILImage.frombytes(mode, (image.width, image.height), image.pixels)
            our_seconds, _ = best_of(3, lambda: image.write_png(ours))
            their_seconds, _ = best_of(3, lambda: picture.save(theirs, compress_level=6))
            our_size, their_size = os.path.getsize(ours), os.path.getsize(theirs)
            print(f"{name:10} {our_seconds:9.3f} {their_seconds:9.3f} {our_seconds / their_seconds:10.2f} "
                  f"{our_size:13,} {their_size:13,} {our_size / their_size:10.3f}")


if __name__ == "__main__":
    main()
