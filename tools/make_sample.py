"""Generate python/kestov/data/sample.csv, the bundled sample of daily bars.

Usage: python tools/make_sample.py [OUTPUT]

Stdlib only and deterministic: the random stream is seeded and the walk uses
only +, -, * and / (no libm calls), so every platform writes the same bytes.
"""

import argparse
import datetime
import random
from pathlib import Path

SEED = 20240607
BARS = 1000
FIRST_DAY = datetime.date(2020, 1, 2)
START_PRICE = 100.0
DEFAULT_OUTPUT = Path(__file__).resolve().parents[1] / "python" / "kestov" / "data" / "sample.csv"


def normal(rng):
    # Irwin-Hall: close enough to a standard normal, and free of libm rounding.
    return sum(rng.random() for _ in range(12)) - 6.0


def business_days(first):
    day = first
    while True:
        if day.weekday() < 5:
            yield day
        day += datetime.timedelta(days=1)


def bars(rng, count):
    close = START_PRICE
    vol = 0.015
    days = business_days(FIRST_DAY)
    for _ in range(count):
        # Slowly wandering volatility gives calm and busy stretches.
        vol = min(0.025, max(0.006, vol + 0.001 * normal(rng)))
        # Weak pull towards the start price keeps the walk around 100.
        drift = 0.02 * (START_PRICE - close) / START_PRICE
        open_ = close * (1.0 + 0.25 * vol * normal(rng))
        close = open_ * (1.0 + drift + vol * normal(rng))
        high = max(open_, close) * (1.0 + 0.5 * vol * abs(normal(rng)))
        low = min(open_, close) * (1.0 - 0.5 * vol * abs(normal(rng)))
        o, h, l, c = (round(x, 2) for x in (open_, high, low, close))
        # Rounding may push open/close past the extremes; widen them instead.
        h = max(h, o, c)
        l = min(l, o, c)
        move = (h - l) / c
        volume = int(800_000 * (0.5 + rng.random()) * (1.0 + 25.0 * move))
        yield next(days), o, h, l, c, volume


def render(seed=SEED, count=BARS):
    rng = random.Random(seed)
    lines = ["date,open,high,low,close,volume"]
    for day, o, h, l, c, v in bars(rng, count):
        lines.append(f"{day.isoformat()},{o:.2f},{h:.2f},{l:.2f},{c:.2f},{v}")
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", nargs="?", type=Path, default=DEFAULT_OUTPUT)
    args = parser.parse_args(argv)
    args.output.parent.mkdir(parents=True, exist_ok=True)
    args.output.write_bytes(render().encode("ascii"))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
