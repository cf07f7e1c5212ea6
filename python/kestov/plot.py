"""Charts for the command-line program (`kestov --plot chart.png`).

The price runs along the top panel, as candles when the data has open, high
and low beside close and as a line otherwise, with the indicators that live on
the price scale drawn over it (moving averages, bands and channels, PSAR,
VWAP). Every other indicator gets a panel of its own below. The image is
WIDTH_PX wide and PRICE_PX + PANEL_PX per panel high.

Needs matplotlib (pip install 'kestov[plot]'). Only its Agg canvas is used,
so no display is needed and no global backend is switched.
"""

import numpy as np
from matplotlib.collections import LineCollection
from matplotlib.figure import Figure
from matplotlib.ticker import FuncFormatter, MaxNLocator

from kestov.columns import column_names

DPI = 100
WIDTH_PX = 1400
PRICE_PX = 600
PANEL_PX = 200

# required columns map to who needs them, optional ones to None
COLUMNS = {"close": "--plot", "open": None, "high": None, "low": None}

# indicators on the price scale; anything not named here gets its own panel
OVERLAYS = {"SMA", "EMA", "WMA", "HMA", "DEMA", "TEMA", "KAMA", "BollingerBands", "Keltner", "Donchian",
            "PSAR", "VWAP"}
# the outer lines of these are shaded between
BANDS = {"BollingerBands", "Keltner", "Donchian"}
# columns that only make sense on their own scale
OFF_PRICE = {("BollingerBands", "stddev")}
# columns drawn as bars around zero
BARS = {("MACD", "histogram"), ("AwesomeOscillator", None)}
# customary reference levels
GUIDES = {"RSI": (30, 70), "Stochastic": (20, 80), "WilliamsR": (-80, -20), "MFI": (20, 80), "CCI": (-100, 100),
          "Aroon": (30, 70), "MACD": (0,), "AwesomeOscillator": (0,), "ROC": (0,), "TRIX": (0,)}

UP, DOWN = "#26a269", "#c01c28"


def size_px(panels):
    """(width, height) in pixels of a chart with this many indicator panels."""
    return WIDTH_PX, PRICE_PX + PANEL_PX * panels


def render(path, prices, dates, results):
    """Write the chart to path (format from its suffix, PNG for .png).

    prices: float64 arrays by column name, at least "close"; dates: one label
    per row, or None; results: (label, class name, batch result) triples.
    """
    overlays = [r for r in results if r[1] in OVERLAYS]
    panels = [r for r in results if r[1] not in OVERLAYS]
    width, height = size_px(len(panels))
    fig = Figure(figsize=(width / DPI, height / DPI), dpi=DPI, layout="constrained")
    axes = fig.subplots(1 + len(panels), 1, sharex=True, squeeze=False,
                        gridspec_kw={"height_ratios": [PRICE_PX] + [PANEL_PX] * len(panels)})[:, 0]
    x = np.arange(len(prices["close"]), dtype=np.float64)

    price = axes[0]
    _price(price, x, prices)
    for label, name, result in overlays:
        _overlay(price, x, label, name, result)
    price.legend(loc="upper left", fontsize="small", ncols=3, framealpha=0.8)
    price.set_ylabel("price")

    for ax, (label, name, result) in zip(axes[1:], panels):
        _panel(ax, x, label, name, result)

    for ax in axes:
        ax.grid(True, color="#dddddd", linewidth=0.6)
        ax.margins(x=0.005)
    _x_axis(axes[-1], dates, len(x))
    fig.savefig(path, dpi=DPI)


def _price(ax, x, prices):
    close = prices["close"]
    if not all(k in prices for k in ("open", "high", "low")):
        ax.plot(x, close, color="black", linewidth=1.0, label="close")
        return
    o, h, lo = prices["open"], prices["high"], prices["low"]
    up = close >= o
    colors = np.where(up, UP, DOWN)
    wicks = np.stack([np.column_stack([x, lo]), np.column_stack([x, h])], axis=1)
    ax.add_collection(LineCollection(wicks, colors=colors, linewidths=0.7))
    # a flat candle still shows as a thin bar
    body = np.where(close == o, (h - lo) * 0.02 + 1e-12, np.abs(close - o))
    ax.bar(x, body, bottom=np.minimum(o, close), width=0.7, color=colors, linewidth=0, label="OHLC")
    ax.autoscale_view()


def _columns(name, result):
    if result.ndim == 1:
        return [(None, result)]
    return list(zip(column_names(name, result.shape[1]), result.T))


def _overlay(ax, x, label, name, result):
    columns = [(c, v) for c, v in _columns(name, result) if (name, c) not in OFF_PRICE]
    if name == "PSAR":
        ax.scatter(x, result, s=4, color="#813d9c", label=label, zorder=3)
        return
    if name in BANDS:
        by_name = dict(columns)
        line = ax.plot(x, by_name["middle"], linewidth=0.9, label=label)[0]
        color = line.get_color()
        ax.plot(x, by_name["upper"], color=color, linewidth=0.6)
        ax.plot(x, by_name["lower"], color=color, linewidth=0.6)
        ax.fill_between(x, by_name["lower"], by_name["upper"], color=color, alpha=0.08)
        return
    for column, values in columns:
        ax.plot(x, values, linewidth=1.0, label=label if column is None else f"{label}.{column}")


def _panel(ax, x, label, name, result):
    for column, values in _columns(name, result):
        if (name, column) in BARS:
            ax.bar(x, np.nan_to_num(values), width=0.8, color=np.where(values >= 0, UP, DOWN),
                   label=column or label)
        else:
            ax.plot(x, values, linewidth=1.0, label=column or label)
    for level in GUIDES.get(name, ()):
        ax.axhline(level, color="#888888", linewidth=0.7, linestyle="--")
    ax.set_title(label, loc="left", fontsize="medium")
    if result.ndim == 2:
        ax.legend(loc="upper left", fontsize="small", ncols=result.shape[1], framealpha=0.8)


def _x_axis(ax, dates, rows):
    ax.xaxis.set_major_locator(MaxNLocator(nbins=12, integer=True))
    if dates is None:
        ax.set_xlabel("row")
        return

    def label(position, _):
        i = int(round(position))
        return dates[i] if 0 <= i < rows else ""

    # bars sit at their row number, so weekends and holidays leave no gaps
    ax.xaxis.set_major_formatter(FuncFormatter(label))
    ax.figure.autofmt_xdate(rotation=30, ha="right")
