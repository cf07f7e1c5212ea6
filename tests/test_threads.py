"""Threads: separate objects in parallel give the sequential results; one object shared by many stays whole.

The module never releases the interpreter lock, so a call runs to completion once started; these tests
switch threads as often as CPython allows to make the most of any interleaving.
"""

import sys
import threading
import time

import numpy as np
import pytest

from classes import CASES, bits, by_class
from kestov._kestov import VWAP

THREADS = 4


@pytest.fixture(autouse=True)
def fast_switching():
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(old)


def run_threads(bodies):
    barrier = threading.Barrier(len(bodies))
    errors = []

    def start(body):
        barrier.wait()
        try:
            body()
        except BaseException as e:  # noqa: B902 - reported below
            errors.append(e)

    threads = [threading.Thread(target=start, args=(b,)) for b in bodies]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors


@by_class(CASES)
def test_separate_objects_in_parallel(case):
    inputs = [case.series(seed, 400) for seed in range(THREADS)]
    expected = []
    for xs in inputs:
        obj = case.make()
        expected.append(([bits(obj.update(x)) for x in xs[:200]], obj.batch(*case.batch_args(xs[200:])).tobytes()))
    got = [None] * THREADS

    def body(i):
        obj = case.make()
        streamed = [bits(obj.update(x)) for x in inputs[i][:200]]
        got[i] = (streamed, obj.batch(*case.batch_args(inputs[i][200:])).tobytes())

    run_threads([lambda i=i: body(i) for i in range(THREADS)])
    assert got == expected


class Recorded:
    """An input that notes, from inside the update converting it, that this update is taking effect."""

    def __init__(self, log, key, x):
        self.log, self.key, self.x = log, key, x

    def __float__(self):
        self.log.append(self.key)
        time.sleep(0)  # gives the lock away in the middle of the update
        return self.x


@by_class(CASES)
def test_shared_object_ends_in_a_sequential_state(case):
    # The record is made inside the call under its exclusive borrow, so its order is the order in which
    # the updates took effect. Running Python code inside a call lets other threads in: they find the
    # object borrowed, get RuntimeError and try again; a refused call must leave no trace.
    obj, log = case.make(), []
    inputs = {(i, k): x for i in range(THREADS) for k, x in enumerate(case.series(i, 150))}

    def recorded(key):
        x = inputs[key]
        return Recorded(log, key, x) if case.kind == "value" else (Recorded(log, key, x[0]), *x[1:])

    outputs = {}

    def body(i):
        for k in range(150):
            x = recorded((i, k))
            while True:
                try:
                    outputs[i, k] = bits(obj.update(x))
                    break
                except RuntimeError as e:
                    assert str(e) in ("Already borrowed", "Already mutably borrowed")
                    time.sleep(0)
            time.sleep(0)  # and away between updates, so the threads take turns
            try:
                obj.is_ready(), obj.warmup_period(), repr(obj)
            except RuntimeError:
                pass  # another thread's update is converting its argument

    run_threads([lambda i=i: body(i) for i in range(THREADS)])
    assert sorted(log) == sorted(inputs)  # each update converted its argument once
    replay = case.make()
    assert [bits(replay.update(inputs[key])) for key in log] == [outputs[key] for key in log]
    probe = case.series(99, obj.warmup_period() + 3)
    assert [bits(obj.update(x)) for x in probe] == [bits(replay.update(x)) for x in probe]


@by_class(CASES)
def test_shared_object_hammered_with_plain_calls(case):
    # No Python code runs inside these calls, so none can find the object borrowed.
    obj = case.make()

    def body(i):
        xs = case.series(i, 300)
        for k, x in enumerate(xs):
            obj.update(x)
            if k % 50 == 0:
                obj.batch(*case.batch_args(xs[k:k + 20]))
                obj.is_ready(), obj.warmup_period(), repr(obj)
            if k == 150 + i:
                obj.reset()

    run_threads([lambda i=i: body(i) for i in range(THREADS)])


def test_shared_vwap_sums_every_candle_once():
    # Exact integer sums make VWAP's state independent of the order: every interleaving must end
    # where one thread feeding all the candles ends, and a lost or doubled update would show.
    candles = [[(3.0 * k,) * 4 + (float(k % 7 + i), 0) for k in range(1, 400)] for i in range(THREADS)]
    cols = [np.array([c[3] for c in cs[:50]]) for cs in candles]
    vols = [np.array([c[4] for c in cs[:50]]) for cs in candles]
    shared, alone = VWAP(), VWAP()

    def body(i):
        shared.batch(cols[i], cols[i], cols[i], vols[i])
        for c in candles[i][50:]:
            shared.update(c)

    run_threads([lambda i=i: body(i) for i in range(THREADS)])
    for i in range(THREADS):
        alone.batch(cols[i], cols[i], cols[i], vols[i])
        for c in candles[i][50:]:
            alone.update(c)
    probe = (5.0, 5.0, 5.0, 5.0, 1.0, 0)
    assert bits(shared.update(probe)) == bits(alone.update(probe))

