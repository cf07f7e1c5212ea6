"""What the adapters and the command line read for the classes beyond price columns: a pair of series
(Correlation, Beta) and a timestamp (SessionVWAP)."""

import datetime
import io
import subprocess
import sys

import numpy as np
import pytest

from classes import FIELDS, candles
from kestov import Beta, Correlation, SessionVWAP

pd = pytest.importorskip("pandas")
pl = pytest.importorskip("polars")
pa = pytest.importorskip("pyarrow")
kpd = pytest.importorskip("kestov.pandas")
kpl = pytest.importorskip("kestov.polars")
from kestov._columns_io import nanoseconds  # noqa: E402

HOUR = 3600 * 10**9
N = 90


def bars():
    rows = candles(5, N)
    index = pd.date_range("2024-03-01 20:00", periods=N, freq="h", tz="America/New_York", name="when")
    return pd.DataFrame({f: [r[FIELDS.index(f)] for r in rows] for f in FIELDS[:5]}, index=index)


def expected_vwap(df, session, offset=0):
    columns = [df[c].to_numpy() for c in ("high", "low", "close", "volume")]
    return SessionVWAP(session, offset).batch(*columns, df.index.as_unit("ns").asi8.astype(np.int64))


def same(got, want):
    got = np.asarray(got, dtype=np.float64)
    assert got.shape == want.shape and got.tobytes() == want.tobytes()


@pytest.mark.parametrize("cls", [Correlation, Beta])
def test_pairs_are_columns_a_and_b_or_the_only_two(cls):
    df = bars()
    a, b = df["close"].to_numpy(), df["open"].to_numpy()
    want = cls(6).batch(a, b)
    frames = [pd.DataFrame({" A": a, "b": b, "close": b}), pd.DataFrame({"x": a, "y": b}, index=df.index)]
    for frame in frames:
        same(kpd.batch(cls(6), frame), want)
        same(kpl.batch(cls(6), pl.from_pandas(frame)), want)
        same(kpd.batch(cls(6), pa.Table.from_pandas(frame, preserve_index=False)), want)
    out = pl.DataFrame({"a": a, "b": b}).select(kpl.expr(cls, period=6))
    same(out.to_series(), want)
    with pytest.raises(ValueError, match="'a' and 'b'"):
        kpd.batch(cls(6), df)  # five columns, none named a or b: no guess
    with pytest.raises(TypeError, match="reads a, b"):
        kpd.batch(cls(6), df["close"])


def test_session_vwap_reads_the_times_of_every_frame():
    df = bars()
    want = expected_vwap(df, 6 * HOUR, HOUR)
    same(kpd.session_vwap(df, "6h", offset="1h"), want)
    same(kpd.batch(SessionVWAP(6 * HOUR, HOUR), df), want)
    plain = df.reset_index()  # the times as a zoned datetime column
    same(kpd.session_vwap(plain, pd.Timedelta(hours=6), offset=np.timedelta64(60, "m")), want)
    same(kpd.session_vwap(plain.rename(columns={"when": "timestamp"}), "6h", "1h"), want)
    same(kpd.session_vwap(plain.assign(timestamp=df.index.as_unit("ns").asi8), 6 * HOUR, HOUR), want)
    same(kpl.session_vwap(pl.from_pandas(plain), "6h", "1h"), want)
    same(kpd.batch(SessionVWAP(6 * HOUR, HOUR), pa.Table.from_pandas(plain)), want)
    lazy = pl.from_pandas(plain.rename(columns={"when": "timestamp"})).select(
        kpl.expr(SessionVWAP, session=6 * HOUR, offset=HOUR))
    same(lazy.to_series(), want)


def test_session_vwap_refusals_say_what_is_missing():
    df = bars()
    with pytest.raises(ValueError, match="no 'timestamp' column .*DatetimeIndex"):
        kpd.session_vwap(df.reset_index(drop=True), "1d")
    with pytest.raises(ValueError, match="null"):
        kpd.session_vwap(df.reset_index().assign(when=lambda f: f["when"].where(f.index != 7)), "1d")
    with pytest.raises(TypeError, match="holds float64"):
        kpd.batch(SessionVWAP(), df.reset_index(drop=True).assign(timestamp=1.5))
    for bad, error in [("1 fortnight", ValueError), (True, TypeError), (1.5, TypeError)]:
        with pytest.raises(error):
            nanoseconds(bad)
    assert [nanoseconds(s) for s in ("1d", "8h", "15min", "30s", " 2W ", "15h59min")] == [
        86400 * 10**9, 8 * HOUR, 900 * 10**9, 30 * 10**9, 14 * 86400 * 10**9, (15 * 60 + 59) * 60 * 10**9]
    span = datetime.timedelta(days=1, hours=2, microseconds=7)  # each form of it, to the microsecond
    assert nanoseconds(span) == nanoseconds(pd.Timedelta(span)) == nanoseconds(np.timedelta64(span))


def test_session_vwap_panel_takes_the_row_times():
    df = bars()
    long = pd.concat([df.assign(symbol=s).iloc[k:] for k, s in enumerate("XYZ")]).reset_index()
    wide = kpd.panel(SessionVWAP(6 * HOUR), long, time="when")
    for k, s in enumerate("XYZ"):
        same(wide[s].to_numpy()[k:], expected_vwap(df.iloc[k:], 6 * HOUR))


def test_command_line_reads_pairs_and_dates(tmp_path):
    df = bars().iloc[:40]
    csv = tmp_path / "in.csv"
    dates = df.index.tz_convert("UTC").strftime("%Y-%m-%dT%H:%M:%S")
    frame = pd.DataFrame({"date": dates, "a": df["close"], "b": df["open"],
                          **{c: df[c] for c in ("high", "low", "close", "volume")}})
    frame.to_csv(csv, index=False)
    argv = [sys.executable, "-m", "kestov", str(csv), "-i", "Correlation(5)", "-i", "SessionVWAP(21600)"]
    batch = subprocess.run(argv, capture_output=True, text=True)
    assert batch.returncode == 0, batch.stderr
    out = pd.read_csv(io.StringIO(batch.stdout))
    same(out["Correlation(5)"].to_numpy(), Correlation(5).batch(df["close"].to_numpy(), df["open"].to_numpy()))
    seconds = df.index.as_unit("s").asi8
    same(out["SessionVWAP(21600)"].to_numpy(), SessionVWAP(21600).batch(
        *[df[c].to_numpy() for c in ("high", "low", "close", "volume")], seconds.astype(np.int64)))
    follow = subprocess.run(argv[:3] + ["--follow"] + argv[4:], input=csv.read_text(), capture_output=True, text=True)
    assert (follow.returncode, follow.stdout) == (0, batch.stdout), follow.stderr
    frame.drop(columns=["a"]).to_csv(csv, index=False)
    missing = subprocess.run(argv, capture_output=True, text=True)
    assert missing.returncode != 0 and "no 'a' column (needed by Correlation(5))" in missing.stderr
