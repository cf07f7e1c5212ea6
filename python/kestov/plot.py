"""Charts for the command-line program (`kestov chart.csv --plot chart.png`).

The price runs along the top panel, as candles when the data has open, high
and low beside close and no more than MAX_CANDLES bars are drawn, and as a
line otherwise (over the shaded high-low range where there is one), with
the indicators that live on the price scale drawn over it (moving averages,
bands and channels, PSAR, VWAP, SuperTrend, Ichimoku). Volume, when the data
has it, gets a short panel below the price; every other indicator a panel of
its own. Lines that would hide one another get distinct dash patterns, and
the bounded oscillators their customary reference levels. The image is
WIDTH_PX wide and PRICE_PX, plus VOLUME_PX with volume, plus PANEL_PX per
panel high.

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
VOLUME_PX = 120
PANEL_PX = 200
# beyond this many bars a candle is narrower than about four pixels: a line reads better
MAX_CANDLES = 300

# required columns map to who needs them, optional ones to None
COLUMNS = {"close": "--plot", "open": None, "high": None, "low": None, "volume": None}

# indicators on the price scale; anything not named here gets its own panel
OVERLAYS = {"SMA", "EMA", "WMA", "HMA", "DEMA", "TEMA", "KAMA", "ZLEMA", "T3", "TRIMA", "VWMA", "RMA",
            "BollingerBands", "Keltner", "Donchian", "PSAR", "VWAP", "SessionVWAP", "SuperTrend", "Ichimoku"}
# the outer lines of these are shaded between
BANDS = {"BollingerBands", "Keltner", "Donchian"}
# columns that only make sense on their own scale
OFF_PRICE = {("BollingerBands", "stddev"), ("SuperTrend", "direction")}
# columns drawn as bars around zero
BARS = {("MACD", "histogram"), ("PPO", "histogram"), ("AwesomeOscillator", None)}
# customary reference levels
GUIDES = {"RSI": (30, 70), "Stochastic": (20, 80), "StochRSI": (20, 80), "WilliamsR": (-80, -20), "MFI": (20, 80),
          "CCI": (-100, 100), "Aroon": (30, 70), "UltimateOscillator": (30, 70), "CMO": (-50, 50),
          "ADX": (25,), "DX": (25,), "ADXR": (25,), "MACD": (0,), "PPO": (0,), "APO": (0,),
          "AwesomeOscillator": (0,), "ROC": (0,), "TRIX": (0,), "Momentum": (0,), "TSI": (0,), "KST": (0,),
          "Coppock": (0,), "DPO": (0,), "AroonOscillator": (0,), "BalanceOfPower": (0,), "ChaikinOscillator": (0,),
          "ChaikinMoneyFlow": (0,), "ForceIndex": (0,), "EaseOfMovement": (0,)}
# oscillators bounded by construction: their whole range is shown, so a reading is seen against it
BOUNDS = {"RSI": (0, 100), "Stochastic": (0, 100), "StochRSI": (0, 100), "WilliamsR": (-100, 0), "MFI": (0, 100),
          "Aroon": (0, 100), "AroonOscillator": (-100, 100), "UltimateOscillator": (0, 100), "CMO": (-100, 100)}

UP, DOWN = "#26a269", "#c01c28"
# the second and later of lines that coincide; the first is solid
DASHES = [(0, (6, 3)), (0, (1.5, 2.5)), (0, (8, 3, 1.5, 3))]
# lines closer than this fraction of their range look like one line
COINCIDE = 2e-3


def size_px(panels, volume=False):
    """(width, height) in pixels of a chart with this many indicator panels, and a volume panel or not."""
    return WIDTH_PX, PRICE_PX + (VOLUME_PX if volume else 0) + PANEL_PX * panels


def render(path, prices, dates, results, title=None, first_row=1):
    """Write the chart to path (format from its suffix, PNG for .png).

    prices: float64 arrays by column name, at least "close"; dates: one label
    per row, or None; results: (label, class name, batch result) triples;
    title: the line above the chart; first_row: the number the x axis gives
    the first bar when there are no dates.
    """
    figure(prices, dates, results, title, first_row).savefig(path, dpi=DPI)


def figure(prices, dates, results, title=None, first_row=1):
    """The chart as a matplotlib Figure (see render)."""
    overlays = [r for r in results if r[1] in OVERLAYS]
    panels = [r for r in results if r[1] not in OVERLAYS]
    volume = prices.get("volume")
    heights = [PRICE_PX] + ([VOLUME_PX] if volume is not None else []) + [PANEL_PX] * len(panels)
    width, height = size_px(len(panels), volume is not None)
    fig = Figure(figsize=(width / DPI, height / DPI), dpi=DPI, layout="constrained")
    axes = fig.subplots(len(heights), 1, sharex=True, squeeze=False, gridspec_kw={"height_ratios": heights})[:, 0]
    x = np.arange(len(prices["close"]), dtype=np.float64)
    if title:
        fig.suptitle(title, x=0.01, ha="left", fontsize="large")

    price, below = axes[0], list(axes[1:])
    lines = []
    _price(price, x, prices, lines)
    for label, name, result in overlays:
        _overlay(price, x, label, name, result, lines)
    price.legend(loc="upper left", fontsize="small", ncols=3, framealpha=0.8)
    price.set_ylabel("price")
    if volume is not None:
        _volume(below.pop(0), x, prices)

    for ax, (label, name, result) in zip(below, panels):
        _panel(ax, x, label, name, result)

    for ax in axes:
        ax.grid(True, color="#dddddd", linewidth=0.6)
        ax.margins(x=0.005)
    _x_axis(axes[-1], dates, len(x), first_row)
    return fig


def _coincides(values, other):
    both = np.isfinite(values) & np.isfinite(other)
    if not both.any():
        return False
    span = np.ptp(values[both]) or abs(values[both][0]) or 1.0
    return bool(np.max(np.abs(values[both] - other[both])) <= COINCIDE * span)


def _line(ax, x, values, drawn, **style):
    """Plot one line, dashed when it would hide under a line drawn before it (SMA(20) under Bollinger's
    middle), with another dash pattern for each such line it meets."""
    hidden = sum(_coincides(values, other) for other in drawn)
    drawn.append(values)
    if hidden:
        style = {**style, "linestyle": DASHES[(hidden - 1) % len(DASHES)],
                 "linewidth": style.get("linewidth", 1.0) + 0.4}
    return ax.plot(x, values, **style)[0]


def _price(ax, x, prices, drawn):
    close = prices["close"]
    ohlc = all(k in prices for k in ("open", "high", "low"))
    if not ohlc or len(close) > MAX_CANDLES:
        if "high" in prices and "low" in prices:
            ax.fill_between(x, prices["low"], prices["high"], color="#777777", alpha=0.18, linewidth=0,
                            label="high-low")
        _line(ax, x, close, drawn, color="black", linewidth=1.0, label="close")
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


def _volume(ax, x, prices):
    close, volume = prices["close"], np.nan_to_num(prices["volume"])
    if len(close) > MAX_CANDLES:
        # bars of a pixel or less, alternating in colour, would read as noise
        ax.fill_between(x, 0, volume, step="mid", color="#777777", alpha=0.5, linewidth=0)
    else:
        up = close >= prices["open"] if "open" in prices else np.concatenate([[True], close[1:] >= close[:-1]])
        # paler than the candles, so the volume does not compete with the price
        ax.bar(x, volume, width=0.8, color=np.where(up, UP, DOWN), alpha=0.45, linewidth=0)
    ax.set_ylabel("volume")
    ax.yaxis.set_major_locator(MaxNLocator(nbins=3))
    ax.yaxis.set_major_formatter(FuncFormatter(_abbreviated))


def _abbreviated(value, _):
    for size, suffix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if abs(value) >= size:
            return f"{value / size:g}{suffix}"
    return f"{value:g}"


def _columns(name, result):
    if result.ndim == 1:
        return [(None, result)]
    return list(zip(column_names(name, result.shape[1]), result.T))


def _overlay(ax, x, label, name, result, drawn):
    columns = [(c, v) for c, v in _columns(name, result) if (name, c) not in OFF_PRICE]
    if name == "PSAR":
        ax.scatter(x, result, s=4, color="#813d9c", label=label, zorder=3)
        return
    if name in BANDS:
        by_name = dict(columns)
        color = _line(ax, x, by_name["middle"], drawn, linewidth=0.9, label=label).get_color()
        ax.plot(x, by_name["upper"], color=color, linewidth=0.6)
        ax.plot(x, by_name["lower"], color=color, linewidth=0.6)
        ax.fill_between(x, by_name["lower"], by_name["upper"], color=color, alpha=0.08)
        return
    for column, values in columns:
        _line(ax, x, values, drawn, linewidth=1.0, label=label if column is None else f"{label}.{column}")


def _panel(ax, x, label, name, result):
    drawn = []
    for column, values in _columns(name, result):
        if (name, column) in BARS:
            ax.bar(x, np.nan_to_num(values), width=0.8, color=np.where(values >= 0, UP, DOWN),
                   label=column or label)
        else:
            _line(ax, x, values, drawn, linewidth=1.0, label=column or label)
    for level in GUIDES.get(name, ()):
        ax.axhline(level, color="#888888", linewidth=0.7, linestyle="--")
    if name in BOUNDS:
        low, high = BOUNDS[name]
        ax.set_ylim(low - 0.03 * (high - low), high + 0.03 * (high - low))
    ax.set_title(label, loc="left", fontsize="medium")
    if result.ndim == 2:
        ax.legend(loc="upper left", fontsize="small", ncols=result.shape[1], framealpha=0.8)


def _x_axis(ax, dates, rows, first_row):
    ax.xaxis.set_major_locator(MaxNLocator(nbins=12, integer=True))
    if dates is None:
        ax.set_xlabel("row")
        ax.xaxis.set_major_formatter(FuncFormatter(lambda position, _: f"{int(round(position)) + first_row}"))
        return

    def label(position, _):
        i = int(round(position))
        return dates[i] if 0 <= i < rows else ""

    # bars sit at their row number, so weekends and holidays leave no gaps
    ax.xaxis.set_major_formatter(FuncFormatter(label))
    ax.figure.autofmt_xdate(rotation=30, ha="right")
