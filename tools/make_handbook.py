"""Write the generated parts of the handbook (docs/handbook/) from the installed module.

Usage: python tools/make_handbook.py [--check] [--no-charts] [--summary]

Each page docs/handbook/<Class>.md is prose written by hand, with three
blocks that only this tool writes, each between `<!-- NAME -->` and
`<!-- /NAME -->`:

- `surface`: the constructor, what `update` takes and `batch` reads, the
  output columns and the properties, as the installed module has them;
- `measured`: the class at its defaults (20 for a period without one) over
  the bundled sample (python/kestov/data/sample.csv), against TA-Lib's
  function (`TALIB` of bench/benchmark.py) and talipp's class (`TALIPP`
  there), column by column: where both have a value, the largest absolute
  difference and the same over the largest magnitude in kestov's column,
  and the rows that differ by more than 1e-12 of it; over every row and
  from row 300 on;
- `chart`: the link to docs/handbook/img/<Class>.png, which it draws
  (matplotlib's Agg canvas, a fixed size): the last CHART_ROWS bars of the
  sample, the columns on the price's scale over the candles and the others
  in a panel below.

It also writes the list of docs/handbook/README.md (between `<!-- index -->`
markers) and the handbook's part of the nav in mkdocs.yml (between the
`# handbook` and `# /handbook` comments), both in the order of
`kestov.__all__` within each page's group, and the list of the classes of
`kestov._more` in docs/more.md (`<!-- more-index -->`). The second line of a
page names its group, `[Handbook](README.md) › GROUP` with GROUP one of
GROUPS; the first sentence after it is the page's line in the lists.

A new class needs a page: copy one of its kind, rewrite the prose, keep the
three marker pairs (their contents may be empty) and run the tool. `--check`
writes nothing and exits 1 naming every file that is out of step with the
module (tests/test_handbook.py runs it); without TA-Lib and talipp installed
it leaves the measured blocks as they are.
"""

import argparse
import csv
import importlib
import inspect
import math
import re
import runpy
import sys
import types
from pathlib import Path

import numpy as np

import kestov
from kestov.columns import column_names

ROOT = Path(__file__).resolve().parents[1]
HANDBOOK = ROOT / "docs" / "handbook"
IMAGES = HANDBOOK / "img"
INDEX = HANDBOOK / "README.md"
MORE = ROOT / "docs" / "more.md"
MKDOCS = ROOT / "mkdocs.yml"
SAMPLE = ROOT / "python" / "kestov" / "data" / "sample.csv"
BENCH = runpy.run_path(str(ROOT / "bench" / "benchmark.py"))

GROUPS = ("Moving averages", "Momentum and oscillators", "Trend", "Volatility", "Volume", "Statistics", "Price")
AFTER = 300  # the rows from which the peers' warm-up and seeds no longer show
CLOSE = 1e-12  # relative difference below which two values count as the same
CHART_ROWS = 250
CHART_SIZE = (8.0, 4.8)  # inches, at CHART_DPI
CHART_DPI = 100
# how a class's own columns are best drawn, where a line is not
DOTS = {"PSAR"}
CANDLES = {"HeikinAshi"}
# talipp's names for kestov's columns, where they differ
TALIPP_FIELDS = {"upper": "ub", "middle": "cb", "lower": "lb", "tenkan": "conversion_line", "kijun": "base_line",
                 "plus": "plus_vtx", "minus": "minus_vtx", "line": "value", "direction": "trend"}


def class_names():
    return [name for name in kestov.__all__ if name != "__version__"]


def sample():
    with SAMPLE.open(newline="") as f:
        rows = list(csv.DictReader(f))
    d = {k: np.array([float(r[k]) for r in rows]) for k in ("open", "high", "low", "close", "volume")}
    dates = np.array([r["date"] for r in rows], dtype="datetime64[D]")
    # Correlation and Beta read two series: the close and the volume, which do not move together.
    return {**d, "prices": d["close"], "a": d["close"], "b": d["volume"],
            "timestamp": dates.astype("datetime64[s]").astype(np.int64)}, [str(x) for x in dates]


def outputs(cls, data):
    """The class at its defaults over the sample: {column: values}."""
    out = BENCH["default_instance"](cls).batch(*BENCH["batch_inputs"](cls, data))
    if out.ndim == 1:
        return {"value": out}
    return dict(zip(column_names(cls.__name__, out.shape[1]), out.T))


def talib_columns(name, data, talib):
    """{our column: TA-Lib's values} where TA-Lib has the class, else None."""
    if talib is None or name not in BENCH["TALIB"]:
        return None
    _, call, pairs = BENCH["TALIB"][name]
    theirs = call(talib, data)
    theirs = theirs if isinstance(theirs, tuple) else (theirs,)
    ours = list(outputs(getattr(kestov, name), data))
    return {ours[o]: np.asarray(theirs[t], dtype=np.float64) for t, o in pairs}


def talipp_columns(name, data, indicators):
    """{our column: talipp's values} where talipp has the class, else None. A column talipp's values have no
    field for (BollingerBands' stddev, Ichimoku's spans, which talipp shifts ahead) is left out."""
    if indicators is None or name not in BENCH["TALIPP"]:
        return None
    from talipp.ohlcv import OHLCV
    cls = getattr(kestov, name)
    indicator = BENCH["TALIPP"][name][1](indicators)
    if BENCH["takes_candle"](cls):
        inputs = [OHLCV(*row) for row in zip(*(data[k].tolist() for k in ("open", "high", "low", "close", "volume")))]
    else:
        inputs = data["close"].tolist()
    for x in inputs:
        indicator.add(x)
    got = list(indicator)
    columns = {}
    for column in outputs(cls, data):
        field = "value" if column == "value" else TALIPP_FIELDS.get(column, column)
        values = [v if v is None or isinstance(v, (int, float)) else getattr(v, field, KeyError) for v in got]
        if KeyError in values:
            continue
        # talipp's trend is an enumeration, UP or DOWN, where kestov's direction is +1 or -1
        columns[column] = np.array([math.nan if v is None else 1.0 if str(v).endswith("UP")
                                    else -1.0 if str(v).endswith("DOWN") else float(v) for v in values])
    return columns


def differences(ours, theirs, start=0):
    """From row `start`: the rows where both have a value and where only one has, the largest absolute difference,
    the same relative to the largest magnitude in kestov's column, and the rows that differ by more than CLOSE
    relative to it."""
    a, b = ours[start:], theirs[start:]
    both = ~np.isnan(a) & ~np.isnan(b)
    one = int(np.count_nonzero(np.isnan(a) != np.isnan(b)))
    diff = np.abs(a[both] - b[both])
    scale = float(np.abs(a[both]).max(initial=0.0))
    largest = float(diff.max(initial=0.0))
    return {"rows": int(both.sum()), "one_side": one, "abs": largest,
            "rel": largest / scale if scale > 0.0 else largest,
            "over": int(np.count_nonzero(diff > CLOSE * scale))}


def number(x):
    return "0" if x == 0.0 else f"{x:.1e}"


def measured(name, data, talib, indicators):
    """The measured block's text, and {peer: largest relative difference from row AFTER on} for --summary."""
    cls = getattr(kestov, name)
    ours = outputs(cls, data)
    peers = [("TA-Lib", f"`{BENCH['TALIB'][name][0]}`" if name in BENCH["TALIB"] else None,
              talib_columns(name, data, talib)),
             ("talipp", f"`{BENCH['TALIPP'][name][0]}`" if name in BENCH["TALIPP"] else None,
              talipp_columns(name, data, indicators))]
    intro = f"`{BENCH['label'](cls)}` on the bundled sample; the [introduction](README.md) says what each column holds."
    notes, table, summary = [], [], {}
    for peer, call, columns in peers:
        notes.append(f"{peer}: {call or 'nothing to compare with'}.")
        if call is None:
            continue
        for column, theirs in columns.items():
            every, late = differences(ours[column], theirs), differences(ours[column], theirs, AFTER)
            summary[peer] = max(summary.get(peer, 0.0), late["rel"])
            cells = [peer, column, every["rows"], every["one_side"], number(every["abs"]),
                     number(every["rel"]), every["over"], late["rows"], number(late["abs"]), number(late["rel"]),
                     late["over"]]
            table.append("| " + " | ".join(map(str, cells)) + " |")
    parts = [intro + " " + " ".join(notes)]
    if table:
        parts.append("\n".join([f"| Peer | Column | Rows | One side | Abs. | Rel. | > 1e-12 | Rows from {AFTER} | Abs. "
                                "| Rel. | > 1e-12 |", "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|", *table]))
    return "\n\n".join(parts), summary


def code(names):
    return ", ".join(f"`{n}`" for n in names)


def surface(name):
    cls = getattr(kestov, name)
    takes = list(inspect.signature(cls.update).parameters)[1]
    reads = list(inspect.signature(cls.batch).parameters)[1:]
    out = BENCH["default_instance"](cls).batch(*[np.ones(3, dtype=np.int64 if r == "timestamp" else np.float64)
                                                 for r in reads])
    output = "a float" if out.ndim == 1 else (f"a tuple of {code(column_names(name, out.shape[1]))}, the columns of "
                                              f"`batch`'s `(n, {out.shape[1]})` array")
    getters = [a for a, v in vars(cls).items() if isinstance(v, types.GetSetDescriptorType)]
    return "\n".join([f"- Constructor: `{name}{cls.__text_signature__}`, in `{cls.__module__}`",
                      f"- `update` takes a {takes}; `batch` reads {code(reads)}",
                      f"- Output: {output}",
                      f"- Properties: {code(getters) or 'none'}"])


def chart_block(name):
    cls = getattr(kestov, name)
    return f"![{BENCH['label'](cls)} over the last {CHART_ROWS} bars of the bundled sample](img/{name}.png)"


def replace_block(text, block, body, path):
    pattern = re.compile(rf"(<!-- {block} -->\n).*?(<!-- /{block} -->)", re.S)
    if not pattern.search(text):
        sys.exit(f"{path}: no <!-- {block} --> ... <!-- /{block} --> block")
    return pattern.sub(lambda m: m.group(1) + (body + "\n" if body else "") + m.group(2), text, count=1)


def group_of(name, text):
    lines = text.splitlines()
    m = re.fullmatch(r"\[Handbook\]\(README\.md\) › (.+)", lines[2] if len(lines) > 2 else "")
    if lines[0] != f"# {name}" or not m or m.group(1) not in GROUPS:
        sys.exit(f"docs/handbook/{name}.md must start with '# {name}', a blank line and "
                 f"'[Handbook](README.md) › GROUP' with GROUP one of {', '.join(GROUPS)}")
    return m.group(1)


def summary_line(text):
    """The first sentence of the page's first paragraph after its group line, for the index."""
    paragraph = re.sub(r"\[([^]]*)\]\([^)]*\)", r"\1", text.split("\n\n")[2].replace("\n", " "))
    return re.split(r"(?<=[.])\s", paragraph, maxsplit=1)[0]


def expected(data, talib, indicators):
    """{path: text} of every generated file, and the --summary figures."""
    names = class_names()
    missing = [n for n in names if not (HANDBOOK / f"{n}.md").exists()]
    if missing:
        sys.exit("no page for " + ", ".join(missing) + ": write docs/handbook/NAME.md (see this tool's docstring)")
    files, grouped, summaries = {}, {g: [] for g in GROUPS}, {}
    for name in names:
        path = HANDBOOK / f"{name}.md"
        text = path.read_text()
        grouped[group_of(name, text)].append((name, summary_line(text)))
        text = replace_block(text, "surface", surface(name), path)
        if talib is not None and indicators is not None:
            body, summaries[name] = measured(name, data, talib, indicators)
            text = replace_block(text, "measured", body, path)
        files[path] = replace_block(text, "chart", chart_block(name), path)
    index = "\n\n".join(f"## {g}\n\n" + "\n".join(f"- [{n}]({n}.md): {s}" for n, s in entries)
                        for g, entries in grouped.items() if entries)
    files[INDEX] = replace_block(INDEX.read_text(), "index", index, INDEX)
    summaries_of = {n: s for entries in grouped.values() for n, s in entries}
    more = "\n".join(f"- [{n}](handbook/{n}.md): {summaries_of[n]}" for n in kestov._more.__all__ if n in summaries_of)
    files[MORE] = replace_block(MORE.read_text(), "more-index", more, MORE)
    nav = ["  - Handbook:", "      - handbook/README.md"]
    for g, entries in grouped.items():
        if entries:
            nav.append(f"      - {g}:")
            nav += [f"          - {n}: handbook/{n}.md" for n, _ in entries]
    yml = MKDOCS.read_text()
    pattern = re.compile(r"(  # handbook\n).*?(  # /handbook)", re.S)
    if not pattern.search(yml):
        sys.exit("mkdocs.yml: no '  # handbook' ... '  # /handbook' comments in its nav")
    files[MKDOCS] = pattern.sub(lambda m: m.group(1) + "\n".join(nav) + "\n" + m.group(2), yml, count=1)
    return files, summaries


def chart(name, data, dates, path):
    from matplotlib.figure import Figure
    from matplotlib.ticker import FuncFormatter, MaxNLocator
    cls = getattr(kestov, name)
    window = slice(len(data["close"]) - CHART_ROWS, None)
    x = np.arange(CHART_ROWS, dtype=np.float64)
    price = {k: data[k][window] for k in ("open", "high", "low", "close")}
    columns = {c: v[window] for c, v in outputs(cls, data).items()}
    low, high = price["low"].min(), price["high"].max()
    margin = (high - low) * 0.5

    def on_price_scale(v):
        finite = v[np.isfinite(v)]
        return finite.size > 0 and finite.min() >= low - margin and finite.max() <= high + margin

    over = {c: v for c, v in columns.items() if on_price_scale(v)}
    below = {c: v for c, v in columns.items() if c not in over}
    fig = Figure(figsize=CHART_SIZE, dpi=CHART_DPI, layout="constrained")
    axes = fig.subplots(2 if below else 1, 1, sharex=True, squeeze=False,
                        gridspec_kw={"height_ratios": [3, 2] if below else [1]})[:, 0]
    faint = name in CANDLES or bool(below)
    _candles(axes[0], x, price, alpha=0.35 if faint else 1.0)
    if name in CANDLES:
        _candles(axes[0], x, columns, alpha=1.0)
    elif name in DOTS:
        for c, v in over.items():
            axes[0].scatter(x, v, s=5, color="#813d9c", zorder=3, label=c)
    else:
        for c, v in over.items():
            axes[0].plot(x, v, linewidth=1.1, label=c)
    if below:
        for c, v in below.items():
            if c == "histogram":
                axes[1].bar(x, np.nan_to_num(v), width=0.8, color="#9a9996", label=c)
            elif c == "direction":
                axes[1].step(x, v, where="mid", linewidth=1.1, label=c)
            else:
                axes[1].plot(x, v, linewidth=1.1, label=c)
        finite = np.concatenate([v[np.isfinite(v)] for v in below.values()])
        if finite.size and finite.min() < 0.0 < finite.max():
            axes[1].axhline(0.0, color="#888888", linewidth=0.7, linestyle="--")
    pair = ", a: the close, b: the volume" if BENCH["takes_pair"](cls) else ""
    title = f"{BENCH['label'](cls)}{pair}, the last {CHART_ROWS} bars of the sample"
    axes[0].set_title(title, loc="left", fontsize="medium")
    for ax in axes:
        ax.grid(True, color="#dddddd", linewidth=0.6)
        ax.margins(x=0.01)
        if len(ax.get_legend_handles_labels()[0]) > 1:
            ax.legend(loc="upper left", fontsize="small", ncols=4, framealpha=0.8)
    axes[-1].xaxis.set_major_locator(MaxNLocator(nbins=8, integer=True))
    shown = dates[window]
    axes[-1].xaxis.set_major_formatter(FuncFormatter(
        lambda position, _: shown[int(round(position))] if 0 <= round(position) < CHART_ROWS else ""))
    fig.savefig(path, dpi=CHART_DPI, metadata={"Software": None})


def _candles(ax, x, p, alpha):
    from matplotlib.collections import LineCollection
    up = p["close"] >= p["open"]
    colors = np.where(up, "#26a269", "#c01c28")
    wicks = np.stack([np.column_stack([x, p["low"]]), np.column_stack([x, p["high"]])], axis=1)
    ax.add_collection(LineCollection(wicks, colors=colors, linewidths=0.7, alpha=alpha))
    body = np.where(p["close"] == p["open"], (p["high"] - p["low"]) * 0.02 + 1e-12, np.abs(p["close"] - p["open"]))
    ax.bar(x, body, bottom=np.minimum(p["open"], p["close"]), width=0.7, color=colors, linewidth=0, alpha=alpha)
    ax.autoscale_view()


def optional(name):
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="write nothing; exit 1 if a file is out of date")
    parser.add_argument("--no-charts", action="store_true", help="leave the PNGs as they are")
    parser.add_argument("--summary", action="store_true",
                        help=f"print each class's largest relative difference from row {AFTER} on")
    args = parser.parse_args(argv)
    talib, indicators = optional("talib"), optional("talipp.indicators")
    if talib is None or indicators is None:
        print("TA-Lib or talipp is not installed: the measured blocks are left as they are", file=sys.stderr)
    data, dates = sample()
    files, summaries = expected(data, talib, indicators)
    if args.summary:
        for name, peers in summaries.items():
            print(f"{name}: " + ", ".join(f"{p} {number(v)}" for p, v in peers.items()) if peers else f"{name}: -")
    stale = [path for path, text in files.items() if path.read_text() != text]
    stale += [IMAGES / f"{n}.png" for n in class_names() if not (IMAGES / f"{n}.png").exists()]
    if args.check:
        for path in stale:
            print(f"out of date: {path.relative_to(ROOT)}")
        return 1 if stale else 0
    for path, text in files.items():
        if path.read_text() != text:
            path.write_text(text)
    if not args.no_charts:
        IMAGES.mkdir(exist_ok=True)
        for name in class_names():
            chart(name, data, dates, IMAGES / f"{name}.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
