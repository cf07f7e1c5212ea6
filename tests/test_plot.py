import struct
import subprocess
import sys

import numpy as np
import pytest

from kestov.cli import main

UP, DOWN = (0x26, 0xA2, 0x69), (0xC0, 0x1C, 0x28)  # candle colours


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


def colours(path):
    from matplotlib.image import imread
    pixels = np.round(imread(path)[:, :, :3] * 255).astype(int)
    return {tuple(p) for p in pixels.reshape(-1, 3)}


@pytest.mark.parametrize("requests, size", [
    (["SMA(20)", "BollingerBands", "RSI"], (1400, 600 + 200)),
    (["PSAR", "Keltner(ema_period=10)", "Donchian", "VWAP", "MACD", "Stochastic", "AwesomeOscillator"],
     (1400, 600 + 3 * 200)),
])
def test_sample_chart(tmp_path, capsys, requests, size):
    pytest.importorskip("matplotlib")
    chart = tmp_path / "chart.png"
    assert main([a for r in requests for a in ("-i", r)] + ["--plot", str(chart)]) == 0
    assert capsys.readouterr() == ("", "")  # the chart alone: no CSV on stdout
    assert png_size(chart) == size
    assert {UP, DOWN} <= colours(chart)  # rising and falling candles were drawn


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


def test_without_matplotlib(tmp_path):
    chart = tmp_path / "c.png"
    done = subprocess.run([sys.executable, "-c", "import sys; sys.modules['matplotlib'] = None\n"
                           f"from kestov.cli import main; sys.exit(main(['-i', 'RSI', '--plot', {str(chart)!r}]))"],
                          capture_output=True, text=True)
    assert done.returncode == 1 and not chart.exists()
    assert "--plot needs matplotlib (pip install 'kestov[plot]')" in done.stderr
