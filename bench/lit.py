"""Relief, globe and hair renderings on one worker and on all: seconds, time
per pixel and the speed-up of all workers over one (best of three runs)."""

from common import best_of, worker_counts, workers

from veldra import Globe, Hair, Instance, Renderer

CASES = [
    ("relief [32,32] / [32,32]", lambda r: r["flat"].relief([32, 32])),
    ("globe 1024 samples=2", lambda r: r["sphere"].globe(1024, 1024, Globe(samples=2))),
    ("globe 1024 samples=4", lambda r: r["sphere"].globe(1024, 1024, Globe(samples=4))),
    ("hair 1024 Hair()", lambda r: r["coat"].hair(1024, 1024, Hair())),
    ("hair 1024 color_from_field", lambda r: r["coat"].hair(1024, 1024, Hair(color_from_field=True))),
]


def main():
    renderers = {
        "flat": Renderer(Instance([32, 32], seed=1)),
        "sphere": Renderer(Instance([4, 4, 4, 4], seed=1)),
        "coat": Renderer(Instance([6, 6], seed=3)),
    }
    print(f"{'rendering':28} {'workers':>7} {'seconds':>8} {'ns/pixel':>9} {'speed-up':>8}")
    for name, render in CASES:
        single = None
        for count in worker_counts():
            with workers(count):
                seconds, image = best_of(3, lambda: render(renderers))
            single = single or seconds
            pixels = image.width * image.height
            print(f"{name:28} {count:7} {seconds:8.3f} {seconds / pixels * 1e9:9.1f} {single / seconds:8.2f}")


if __name__ == "__main__":
    main()
