"""Relief and globe renderings on one worker and on all."""

from common import best_of, worker_counts, workers

from veldra import Globe, Instance, Renderer

CASES = [
    ("relief [32,32] / [32,32]", lambda r2, r4: r2.relief([32, 32])),
    ("globe 1024 samples=2", lambda r2, r4: r4.globe(1024, 1024, Globe(samples=2))),
    ("globe 1024 samples=4", lambda r2, r4: r4.globe(1024, 1024, Globe(samples=4))),
]


def main():
    flat = Renderer(Instance([32, 32], seed=1))
    sphere = Renderer(Instance([4, 4, 4, 4], seed=1))
    print(f"{'rendering':26} {'workers':>7} {'seconds':>8} {'ns/pixel':>9} {'speed-up':>8}")
    for name, render in CASES:
        single = None
        for count in worker_counts():
            with workers(count):
                seconds, image = best_of(3, lambda: render(flat, sphere))
            single = single or seconds
            pixels = image.width * image.height
            print(f"{name:26} {count:7} {seconds:8.3f} {seconds / pixels * 1e9:9.1f} {single / seconds:8.2f}")


if __name__ == "__main__":
    main()
