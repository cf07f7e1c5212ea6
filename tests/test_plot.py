import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from kestov.cli import main

SAMPLE = Path(__file__).resolve().parents[1] / "python" / "kestov" / "data" / "sample.csv"
UP, DOWN = (0x26, 0xA2, 0x69), (0xC0, 0x1C, 0x28)  # candle colours


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


def colours(path):
    from matplotlib.image import imread
    pixels = np.round(imread(path)[:, :, :3] * 255).astype(int)
    return {tuple(p) for p in pixels.reshape(-1, 3)}


@pytest.mark.parametrize("requests, window, size, candles", [
    (["SMA(20)", "BollingerBands", "RSI"], ["--window", "120"], (1400, 600 + 120 + 200), True),
    (["PSAR", "Keltner(ema_period=10)", "Donchian", "VWAP", "MACD", "Stochastic", "AwesomeOscillator"],
     ["--window", "2023-01-01..2023-06-30"], (1400, 600 + 120 + 3 * 200), True),
    # a thousand bars: a line, no candles
    (["SMA(20)"], [], (1400, 600 + 120), False),
])
def test_sample_chart(tmp_path, capsys, requests, window, size, candles):
    pytest.importorskip("matplotlib")
    chart = tmp_path / "chart.png"
    assert main([a for r in requests for a in ("-i", r)] + ["--plot", str(chart)] + window) == 0
    assert capsys.readouterr() == ("", "")  # the chart alone: no CSV on stdout
    assert png_size(chart) == size
    assert ({UP, DOWN} <= colours(chart)) == candles  # rising and falling candles were drawn


def test_line_chart_and_csv_together(tmp_path, capsys):
    pytest.importorskip("matplotlib")
    source, chart, table = tmp_path / "in.csv", tmp_path / "c.png", tmp_path / "out.csv"
    source.write_text("Close\n" + "".join(f"{100 + (i % 7)}\n" for i in range(40)))
    assert main([str(source), "-i", "SMA(5)", "--plot", str(chart), "-o", str(table)]) == 0
    assert png_size(chart) == (1400, 600)
    assert not {UP, DOWN} & colours(chart)  # close only: a line, no candles
    assert table.read_text().splitlines()[0] == "SMA(5)"
    source.write_text("open,high,low\n1,2,0.5\n")
    assert main([str(source), "-i", "SMA(5)", "--plot", str(chart)]) == 1
    assert "no 'close' column (needed by SMA(5))" in capsys.readouterr().err


def drawn(monkeypatch, argv):
    """The figure `kestov argv` draws, caught where it would be saved."""
    from matplotlib.figure import Figure
    figures = []
    monkeypatch.setattr(Figure, "savefig", lambda self, *args, **kwargs: figures.append(self))
    assert main(argv) == 0
    [figure] = figures
    return figure


def test_chart_reads_without_guessing(tmp_path, monkeypatch):
    """What the chart says: the file and its dates, each indicator's whole configuration, lines that would
    coincide told apart, the volume, the customary levels of the oscillators."""
    pytest.importorskip("matplotlib")
    # as DataFrame.to_csv writes a frame with a date index: the date column has no name
    source = tmp_path / "bars.csv"
    source.write_text("," + SAMPLE.read_text().partition(",")[2])
    figure = drawn(monkeypatch, [str(source), "-i", "SMA(20)", "-i", "BollingerBands", "-i", "RSI", "-i", "ADX",
                                 "--plot", "c.png", "--window", "2022-03..2022-05"])
    dates = [line.partition(",")[0] for line in source.read_text().splitlines()[1:]]
    shown = [d for d in dates if "2022-03" <= d[:7] <= "2022-05"]
    assert [t.get_text() for t in figure.texts] == [f"bars.csv: {shown[0]} to {shown[-1]} ({len(shown)} of {len(dates):,} bars)"]
    price, volume, rsi, adx = figure.axes
    lines = {line.get_label(): line for line in price.get_lines()}
    assert {"SMA(20)", "BollingerBands(20, 2.0)"} <= set(lines)
    assert lines["SMA(20)"].get_linestyle() != lines["BollingerBands(20, 2.0)"].get_linestyle()
    assert volume.get_ylabel() == "volume" and len(volume.patches) == len(shown)
    assert (rsi.get_title(loc="left"), adx.get_title(loc="left")) == ("RSI(14)", "ADX(14)")

    def levels(ax):
        return {line.get_ydata()[0] for line in ax.get_lines() if line.get_linestyle() == "--"}

    assert levels(rsi) == {30, 70} and levels(adx) == {25}
    figure.canvas.draw()
    labels = [t.get_text() for t in adx.get_xticklabels() if t.get_text()]
    assert labels and set(labels) <= set(shown)


@pytest.mark.parametrize("argv, status, needle", [
    (["--window", "10"], 2, "--window needs --plot"),
    (["--plot", "{dir}/c.png", "--window", "0"], 2, "at least one bar"),
    (["--plot", "{dir}/c.png", "--window", "2022-01-01"], 2, "FROM..TO"),
    (["--plot", "{dir}/c.png", "--window", "2030-01-01.."], 1, "no row of sample.csv"),
    (["{dir}/in.csv", "--plot", "{dir}/c.png", "--window", "..2022-01-01"], 1, "has no date column"),
])
def test_window_refusals(tmp_path, capsys, argv, status, needle):
    pytest.importorskip("matplotlib")
    (tmp_path / "in.csv").write_text("close\n1\n2\n")
    assert main(["-i", "SMA(2)"] + [a.replace("{dir}", str(tmp_path)) for a in argv]) == status
    err = capsys.readouterr().err
    assert err.startswith("kestov: ") and needle in err


def test_without_matplotlib(tmp_path):
    chart = tmp_path / "c.png"
    done = subprocess.run([sys.executable, "-c", "import sys; sys.modules['matplotlib'] = None\n"
                           f"from kestov.cli import main; sys.exit(main(['-i', 'RSI', '--plot', {str(chart)!r}]))"],
                          capture_output=True, text=True)
    assert done.returncode == 1 and not chart.exists()
    assert "--plot needs matplotlib (pip install 'kestov[plot]')" in done.stderr
