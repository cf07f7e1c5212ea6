"""Plain-Python pieces shared by the reference computations in the tests."""

import math

NAN = float("nan")


def fma(a, b, c):
    """a * b + c with one rounding."""
    if hasattr(math, "fma"):
        return math.fma(a, b, c)
    if not (math.isfinite(a) and math.isfinite(b) and math.isfinite(c)):
        return a * b + c
    # Exact as a ratio of integers; int / int rounds once, correctly.
    na, da = a.as_integer_ratio()
    nb, db = b.as_integer_ratio()
    nc, dc = c.as_integer_ratio()
    num = na * nb * dc + nc * da * db
    if num == 0:
        return a * b + c  # exact here too, and it keeps the sign of a zero
    try:
        return num / (da * db * dc)
    except OverflowError:
        return math.inf if num > 0 else -math.inf


def left_sum(values):
    total = -0.0
    for v in values:
        total += v
    return total
