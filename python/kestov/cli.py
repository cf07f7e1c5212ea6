"""Command-line program: run indicators over a CSV of bars, write a CSV of results.

    kestov [CSV] [-i INDICATOR]... [--gaps] [-o FILE] [--plot FILE.png [--window N|FROM..TO]]
    kestov --follow [--state FILE] [-i INDICATOR]... [--gaps] [-o FILE] < live CSV

Everything about the indicators (names, constructor arguments, batch inputs)
comes from the extension modules' registries, so new classes show up here
without changes to this file.
"""

import argparse
import ast
import base64
import contextlib
import copy
import csv
import difflib
import inspect
import itertools
import json
import math
import os
import shlex
import signal
import sys
import tempfile
import threading
from importlib import resources

import numpy as np

import kestov
from kestov import _kestov
from kestov._columns_io import empty_inputs, refused_row
from kestov.columns import column_names, input_columns

PROG = "kestov"
# A first column of these names, or with no name at all (as DataFrame.to_csv
# writes a date index), holds each row's date or label.
DATE_COLUMNS = ("date", "datetime", "time", "timestamp", "")
# what --gaps reads as a missing value: pandas and polars write an empty cell, R "NA"
GAP_CELLS = ("", "nan", "na", "null")
# what a required constructor parameter gets in the default run, and for a bare -i NAME
DEFAULT_REQUIRED = 20


class CliError(Exception):
    """A problem to report as one line on stderr; status is the exit code."""

    status = 1


class UsageError(CliError):
    status = 2


class DataError(CliError):
    status = 1


class Parser(argparse.ArgumentParser):
    # argparse would print usage plus the error on two lines; keep it to one.
    def error(self, message):
        raise UsageError(f"{message} (see --help)")


# -- registry ---------------------------------------------------------------

def registry():
    """Indicator classes by name, in registration order."""
    return {name: getattr(kestov, name) for name in kestov.__all__ if name != "__version__"}


def constructor_signature(cls):
    try:
        return inspect.signature(cls)
    except (TypeError, ValueError):
        return None


def batch_inputs(cls):
    """Names of the CSV columns that cls.batch takes, in argument order."""
    try:
        return input_columns(cls)
    except ValueError as exc:
        raise CliError(str(exc)) from None


def update_takes(cls, label):
    """What cls.update takes: "candle", "pair", or a single value."""
    try:
        return list(inspect.signature(cls.update).parameters)[-1]
    except (TypeError, ValueError, IndexError):
        raise CliError(f"{label}: update has no readable signature") from None


# -- indicator requests -----------------------------------------------------

def _literal(node, text):
    try:
        return ast.literal_eval(node)
    except (ValueError, TypeError, SyntaxError, MemoryError, RecursionError):
        raise UsageError(f"bad indicator {text!r}: arguments must be literals") from None


def parse_request(text):
    """Parse "Name" or "Name(args)" into (name, args, kwargs) without evaluating code."""
    try:
        node = ast.parse(text.strip(), mode="eval").body
    except (SyntaxError, ValueError, MemoryError, RecursionError) as exc:
        reason = getattr(exc, "msg", None) or str(exc)
        raise UsageError(f"bad indicator {text!r}: {reason}") from None
    if isinstance(node, ast.Name):
        return node.id, (), {}
    if not (isinstance(node, ast.Call) and isinstance(node.func, ast.Name)):
        raise UsageError(f"bad indicator {text!r}: expected Name or Name(arguments)")
    args = []
    for arg in node.args:
        if isinstance(arg, ast.Starred):
            raise UsageError(f"bad indicator {text!r}: *arguments are not supported")
        args.append(_literal(arg, text))
    kwargs = {}
    for kw in node.keywords:
        if kw.arg is None:
            raise UsageError(f"bad indicator {text!r}: **arguments are not supported")
        kwargs[kw.arg] = _literal(kw.value, text)
    return node.func.id, tuple(args), kwargs


def canonical(name, args, kwargs):
    parts = [repr(a) for a in args] + [f"{k}={v!r}" for k, v in kwargs.items()]
    return f"{name}({', '.join(parts)})" if parts else name


def lookup(name, classes):
    cls = classes.get(name)
    if cls is not None:
        return cls
    # compare case-folded: "rsi" or "Smaa" should still find their class
    folded = {n.lower(): n for n in classes}
    close = [folded[n] for n in difflib.get_close_matches(name.lower(), folded, n=3)]
    hint = f"did you mean {', '.join(close)}?" if close else "see --list"
    raise UsageError(f"unknown indicator {name!r} ({hint})")


def build(cls, label, args, kwargs):
    try:
        return cls(*args, **kwargs)
    except (TypeError, ValueError, OverflowError) as exc:
        raise UsageError(f"{label}: {exc}") from None


def default_args(cls):
    sig = constructor_signature(cls)
    if sig is None:
        return ()
    return tuple(DEFAULT_REQUIRED for p in sig.parameters.values()
                 if p.default is p.empty
                 and p.kind in (p.POSITIONAL_ONLY, p.POSITIONAL_OR_KEYWORD))


def requested_indicators(requests):
    """(label, class name, instance, inputs) for each -i; a request without arguments gets the default run's."""
    classes = registry()
    result, seen = [], set()
    for text in requests:
        name, args, kwargs = parse_request(text)
        cls = lookup(name, classes)
        label = canonical(name, args, kwargs)
        if label in seen:
            raise UsageError(f"{label} requested more than once")
        seen.add(label)
        if not args and not kwargs:
            args = default_args(cls)
        result.append((label, name, build(cls, label, args, kwargs), batch_inputs(cls)))
    return result


def default_indicators(header, source):
    """Every class, at its defaults, that the header's columns let run, in registration order.

    The ones left out are named on stderr, grouped by the columns they lack.
    """
    names = header_names(header)
    have = set(names) | ({"timestamp"} if names[0] in DATE_COLUMNS else set())
    chosen, lacking = [], {}
    for name, cls in registry().items():
        inputs = batch_inputs(cls)
        missing = tuple(c for c in dict.fromkeys(inputs) if c not in have)
        if missing:
            lacking.setdefault(missing, []).append(name)
        else:
            chosen.append((name, name, build(cls, name, default_args(cls), {}), inputs))
    if not chosen:
        raise DataError(f"{source}: no indicator reads any of the columns {', '.join(map(repr, header))} "
                        f"(see --list)")
    if lacking:
        groups = "; ".join(f"{', '.join(classes)} (no column {either(columns)})" for columns, classes in lacking.items())
        print(f"{PROG}: {source}: left out {groups}", file=sys.stderr)
    return chosen


def either(names):
    return names[0] if len(names) == 1 else f"{', '.join(names[:-1])} or {names[-1]}"


# -- input ------------------------------------------------------------------

def open_input(path):
    if path == "-":
        return sys.stdin
    try:
        if path is None:
            # via importlib.resources so it also works from a zipped install
            sample = resources.files("kestov") / "data" / "sample.csv"
            return sample.open("r", encoding="utf-8", newline="")
        # utf-8-sig: spreadsheet exports often start with a byte-order mark
        return open(path, "r", encoding="utf-8-sig", newline="")
    except OSError as exc:
        raise DataError(f"cannot read {path or 'the bundled sample'}: {exc.strerror or exc}") from None


def _number(text):
    try:
        return float(text)
    except ValueError:
        return None


def header_names(header):
    return [cell.strip().lower() for cell in header]


def check_header(header, source, line):
    if all(_number(cell) is not None for cell in header):
        raise DataError(f"{source}: missing header row (line {line} looks like data)")


def column_index(header, source, needed, line):
    """Positions of the needed columns in a header row, and the date column's name or None."""
    check_header(header, source, line)
    names = header_names(header)
    index = {}
    dated = names[0] in DATE_COLUMNS
    for column, required_by in needed.items():
        hits = [i for i, n in enumerate(names) if n == column]
        if column == "timestamp" and dated and hits in ([], [0]):  # numbers, or dates to take seconds from
            index[column] = DATE_TIMESTAMP
            continue
        if not hits:
            if required_by is None:
                continue
            raise DataError(f"{source}: no {column!r} column (needed by {required_by})")
        if len(hits) > 1:
            raise DataError(f"{source}: column {column!r} appears more than once")
        index[column] = hits[0]
    return index, (header[0] if dated else None)


# A timestamp read from the first column's date: seconds since the epoch (UTC).
DATE_TIMESTAMP = -1


def is_gap(text):
    return text.strip().lower() in GAP_CELLS


def date_seconds(text, source, line, gaps):
    if gaps and is_gap(text):
        return math.nan
    number = _number(text)
    if number is not None:
        return number
    try:
        stamp = np.datetime64(text.strip(), "s")
    except ValueError:
        stamp = np.datetime64("NaT")
    if np.isnat(stamp):
        raise DataError(f"{source}: line {line}: {text.strip()!r} is not a date to take a timestamp from")
    return float(stamp.astype(np.int64))


def row_values(row, width, index, source, line, gaps=False):
    """The needed cells of one data row as floats, by column name; with gaps, NaN for a missing one."""
    if len(row) != width:
        raise DataError(f"{source}: line {line}: expected {width} cells, got {len(row)}")
    values = {}
    for column, i in index.items():
        if i == DATE_TIMESTAMP:
            values[column] = date_seconds(row[0], source, line, gaps)
            continue
        text = row[i]
        if gaps and is_gap(text):
            values[column] = math.nan
            continue
        value = _number(text)
        if value is None:
            what = "empty cell (--gaps lets it through)" if not text.strip() else f"not a number: {text!r}"
            raise DataError(f"{source}: line {line}: column {column!r}: {what}")
        if not math.isfinite(value):
            raise DataError(f"{source}: line {line}: column {column!r}: {text.strip()!r} is not finite")
        values[column] = value
    return values


def read_table(reader, source, choose, extra, gaps):
    """Read the columns the indicators need, and those of extra, as float64 arrays.

    choose(header) gives the indicators. Returns (indicators, arrays, row
    count, date column name or None, date values, the line each row came
    from). Timestamps stay float64 here, NaN where --gaps let one through.
    """
    header = next((row for row in reader if row), None)
    if header is None:
        raise DataError(f"{source}: empty file")
    check_header(header, source, reader.line_num)
    indicators = choose(header)
    index, date_name = column_index(header, source, needed_columns(indicators, extra), reader.line_num)
    values = {column: [] for column in index}
    dates, lines = [], []
    for row in reader:
        if not row:
            continue
        for column, value in row_values(row, len(header), index, source, reader.line_num, gaps).items():
            values[column].append(value)
        if date_name is not None:
            dates.append(row[0])
        lines.append(reader.line_num)
    arrays = {column: np.array(v, dtype=np.float64) for column, v in values.items()}
    if "timestamp" in arrays:
        stamps = arrays["timestamp"]
        stamps = stamps[~np.isnan(stamps)] if gaps else stamps
        if not np.all(stamps == np.trunc(stamps)) or np.any(np.abs(stamps) >= 2.0**63):
            raise DataError(f"{source}: the timestamp column holds numbers that are not whole seconds")
    return indicators, arrays, len(lines), date_name, dates, lines


def needed_columns(indicators, extra=None):
    """Column -> the first indicator that reads it (None where the column is optional)."""
    needed = {}
    for label, _, _, inputs in indicators:
        for column in inputs:
            needed.setdefault(column, label)
    for column, required_by in (extra or {}).items():
        needed.setdefault(column, required_by)
    return needed


def source_name(path):
    return "sample.csv" if path is None else ("<stdin>" if path == "-" else path)


def load(path, choose, extra=None, gaps=False):
    """Read the columns of the indicators choose(header) gives, and those of extra (column -> who needs
    it, None if optional)."""
    source = source_name(path)
    stream = open_input(path)
    reader = csv.reader(stream)
    try:
        return read_table(reader, source, choose, extra, gaps)
    except UnicodeDecodeError:
        raise DataError(f"{source}: not UTF-8 text") from None
    except csv.Error as exc:
        raise DataError(f"{source}: line {reader.line_num}: {exc}") from None
    except OSError as exc:
        raise DataError(f"cannot read {source}: {exc.strerror or exc}") from None
    finally:
        if stream is not sys.stdin:
            stream.close()


# -- computation and output -------------------------------------------------

def evaluate(indicators, arrays, rows, source="", lines=None, gaps=False):
    """(label, class name, batch result) for each indicator, and (label, skipped rows) for each that --gaps
    made skip rows: a candle indicator skips a row where a cell it reads is missing."""
    out, skipped = [], []
    for label, name, indicator, inputs in indicators:
        columns = [arrays[c] for c in inputs]
        kept = None
        if gaps and update_takes(type(indicator), label) == "candle":
            missing = np.logical_or.reduce([np.isnan(c) for c in columns])
            if missing.any():
                kept = np.flatnonzero(~missing)
                columns = [c[kept] for c in columns]
                skipped.append((label, np.flatnonzero(missing)))
        columns = [c.astype(np.int64) if column == "timestamp" else c for column, c in zip(inputs, columns)]
        before = copy.copy(indicator)  # to find the refused row, should there be one
        try:
            result = indicator.batch(*columns)
        except ValueError as exc:
            where = ""
            if lines:
                row = refused_row(before, columns)
                where = f"{source}: line {lines[row if kept is None else kept[row]]}: "
            raise DataError(f"{where}{label}: {exc}") from None
        result = np.asarray(result, dtype=np.float64)
        taken = rows if kept is None else len(kept)
        if result.shape[:1] != (taken,) or result.ndim not in (1, 2):
            raise DataError(f"{label}: batch returned shape {result.shape} for {taken} rows")
        if kept is not None:
            full = np.full((rows,) + result.shape[1:], np.nan)
            full[kept] = result
            result = full
        out.append((label, name, result))
    return out, skipped


def report_skipped(source, skips):
    """One stderr line per set of indicators that skipped rows alike; skips: (label, count, first line)."""
    groups = {}
    for label, count, first in skips:
        groups.setdefault((count, first), []).append(label)
    for (count, first), labels in groups.items():
        rows = "1 row" if count == 1 else f"{count} rows"
        print(f"{PROG}: {source}: {', '.join(labels)} skipped {rows} with a missing cell, the first on line {first}",
              file=sys.stderr)


def compute(results):
    """Output columns as (header, list of floats) pairs."""
    out = []
    for label, name, result in results:
        if result.ndim == 1:
            out.append((label, result.tolist()))
        else:
            for j, col in enumerate(column_names(name, result.shape[1])):
                out.append((f"{label}.{col}", result[:, j].tolist()))
    return out


def cell(value):
    # repr is the shortest text that reads back as the same double
    return "" if math.isnan(value) else repr(value)


def write_csv(stream, date_name, dates, columns):
    header = [name for name, _ in columns]
    cells = [[cell(v) for v in values] for _, values in columns]
    if date_name is not None:
        header.insert(0, date_name)
        cells.insert(0, dates)
    writer = csv.writer(stream, lineterminator="\n")
    writer.writerow(header)
    writer.writerows(zip(*cells))


def list_indicators(stream):
    lines = []
    for name, cls in registry().items():
        sig = constructor_signature(cls)
        lines.append((f"{name}{sig if sig is not None else '(...)'}", ", ".join(batch_inputs(cls))))
    width = max((len(text) for text, _ in lines), default=0)
    for text, inputs in lines:
        stream.write(f"{text:<{width}}  {inputs}\n")


def plotter():
    try:
        from kestov import plot
    except ImportError as exc:
        raise CliError(f"--plot needs matplotlib (pip install 'kestov[plot]'): {exc}") from None
    return plot


def window_spec(text):
    """--window: the last N bars, or FROM..TO dates, either end left out for no bound."""
    text = text.strip()
    if text.isdigit():
        if int(text) < 1:
            raise argparse.ArgumentTypeError(f"--window {text}: at least one bar")
        return int(text)
    ends = text.split("..")
    if len(ends) != 2 or not any(e.strip() for e in ends):
        raise argparse.ArgumentTypeError(f"--window {text!r}: expected a number of bars, or FROM..TO dates "
                                         f"such as 2024-01-01..2024-06-30")
    bounds = []
    for end in ends:
        try:
            bounds.append(np.datetime64(end.strip()) if end.strip() else None)
        except ValueError:
            raise argparse.ArgumentTypeError(f"--window: {end.strip()!r} is not a date") from None
    return text, bounds[0], bounds[1]


def window_rows(window, rows, dates, lines, source):
    """The rows --window shows, as a slice."""
    if window is None:
        return slice(0, rows)
    if isinstance(window, int):
        return slice(max(0, rows - window), rows)
    text, start, end = window
    if dates is None:
        raise DataError(f"--window {text}: {source} has no date column (--window N shows the last N bars)")
    stamps = np.empty(rows, dtype="datetime64[s]")
    for i, date in enumerate(dates):
        try:
            stamps[i] = np.datetime64(date.strip(), "s")
        except ValueError:
            raise DataError(f"{source}: line {lines[i]}: {date.strip()!r} is not a date for --window") from None
    inside = ~np.isnat(stamps)
    # each end compared at its own precision: ..2024-06-30 takes the whole of that day
    if start is not None:
        inside &= stamps.astype(start.dtype) >= start
    if end is not None:
        inside &= stamps.astype(end.dtype) <= end
    hits = np.flatnonzero(inside)
    if not len(hits):
        raise DataError(f"--window {text}: no row of {source} falls inside it")
    return slice(int(hits[0]), int(hits[-1]) + 1)


def chart_label(name, indicator):
    # the whole configuration, so a bare -i RSI reads RSI(14) on the chart
    return canonical(name, tuple(indicator.__reduce__()[1]), {})


def chart_title(source, dates, shown, rows):
    count = shown.stop - shown.start
    bars = f"{count:,} bars" if count == rows else f"{count:,} of {rows:,} bars"
    if dates is None:
        return f"{os.path.basename(source)}: rows {shown.start + 1} to {shown.stop} ({bars})"
    return f"{os.path.basename(source)}: {dates[shown.start]} to {dates[shown.stop - 1]} ({bars})"


def draw(plot, args, source, table, indicators, results):
    arrays, rows, date_name, dates, lines = table
    if rows == 0:
        raise DataError("nothing to plot: no rows")
    dates = dates if date_name is not None else None
    shown = window_rows(args.window, rows, dates, lines, source)
    labelled = [(chart_label(name, indicator), name, result[shown])
                for (_, name, indicator, _), (_, _, result) in zip(indicators, results)]
    prices = {column: values[shown] for column, values in arrays.items() if column in plot.COLUMNS}
    try:
        plot.render(args.plot, prices, None if dates is None else dates[shown], labelled,
                    title=chart_title(source, dates, shown, rows), first_row=shown.start + 1)
    except OSError as exc:
        raise DataError(f"cannot write {args.plot}: {exc.strerror or exc}") from None
    except ValueError as exc:  # e.g. an image format matplotlib does not know
        raise UsageError(f"--plot {args.plot}: {exc}") from None


# -- following a live input -------------------------------------------------

FOLLOW_SOURCE = "<stdin>"
STATE_FORMAT = "kestov-follow-state"
STATE_VERSION = 1
# SIGHUP too: closing the terminal of a `tail -f | kestov` must not lose the
# rows printed since the last save
STOP_SIGNALS = ("SIGINT", "SIGTERM", "SIGHUP")


class Stop(Exception):
    """A stop signal, raised only while waiting for the next line: between rows."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


class StopSignals:
    """Stop signals, acted on only while waiting for input.

    Anywhere else, in the middle of a row or while the state is saved, a
    signal is only noted, and the next wait for input stops. So a row is
    either done (its outputs written and its indicators kept) or not started,
    and the saved state always matches the rows printed.
    """

    def __init__(self):
        self.waiting = False
        self.pending = None
        self.previous = {}

    def handler(self, signum, frame):
        if self.pending is None:
            self.pending = signum
        if self.waiting:
            self.waiting = False
            raise Stop(self.pending)

    def wait(self, read):
        self.waiting = True
        try:
            # checked after waiting is set: a signal noted just before must not block a read
            if self.pending is not None:
                raise Stop(self.pending)
            return read()
        finally:
            self.waiting = False

    def install(self):
        if threading.current_thread() is not threading.main_thread():
            return  # only the main thread may set handlers; signals then stop us as before
        for name in STOP_SIGNALS:
            signum = getattr(signal, name, None)
            if signum is None:
                continue
            previous = signal.getsignal(signum)
            # an ignored signal stays ignored (nohup, `&` in a script), as Python does for SIGINT
            if previous is signal.SIG_IGN:
                continue
            self.previous[signum] = signal.SIG_DFL if previous is None else previous
            signal.signal(signum, self.handler)

    def uninstall(self):
        for signum, previous in self.previous.items():
            signal.signal(signum, previous)
        self.previous.clear()


class Feed:
    """One requested indicator as --follow drives it: what update gets, how its output is written."""

    def __init__(self, label, name, indicator, inputs):
        self.label, self.name, self.indicator, self.inputs = label, name, indicator, inputs
        takes = update_takes(type(indicator), label)
        # with --gaps a candle indicator skips a row where a cell it reads is missing, as batch does
        self.skips_gaps = takes == "candle"
        self.skipped, self.first_skipped = 0, None
        if takes == "candle":
            if "close" not in inputs and "low" not in inputs:
                raise CliError(f"{label}: cannot make a candle from {', '.join(inputs)}")
            self.argument = self.candle
        elif takes == "pair":
            self.argument = lambda values: (values[inputs[0]], values[inputs[1]])
        elif len(inputs) == 1:
            self.argument = lambda values: values[inputs[0]]
        else:
            raise CliError(f"{label}: update takes one value but batch reads {', '.join(inputs)}")
        # the width of an empty batch is the width of every row batch would return
        empty = copy.copy(indicator).batch(*empty_inputs(inputs))
        self.width = None if empty.ndim == 1 else empty.shape[1]

    def candle(self, values):
        # The fills batch applies to the fields a class does not read: taken
        # from this class's own columns only, so a close column read by
        # another indicator cannot make a high-low candle invalid.
        own = self.inputs
        close = values["close"] if "close" in own else values["low"]
        return (values["open"] if "open" in own else close,
                values["high"] if "high" in own else close,
                values["low"] if "low" in own else close,
                close,
                values["volume"] if "volume" in own else 0.0,
                int(values["timestamp"]) if "timestamp" in own else 0)

    def header(self):
        if self.width is None:
            return [self.label]
        return [f"{self.label}.{col}" for col in column_names(self.name, self.width)]

    def cells(self, out):
        if self.width is None:
            return [cell(math.nan if out is None else out)]
        if out is None:
            return [""] * self.width
        if len(out) != self.width:
            raise DataError(f"{self.label}: update returned {len(out)} values where batch has {self.width} columns")
        return [cell(math.nan if x is None else x) for x in out]


def config_of(indicator):
    """Constructor arguments as they read back from JSON."""
    return json.loads(json.dumps(list(indicator.__reduce__()[1])))


def describe(labels):
    return " ".join(f"-i {shlex.quote(label)}" for label in labels) or "no indicators"


def read_state(path):
    """The state document saved in path, checked as far as it can be without the indicators; None when
    there is no such file.

    The file is JSON and only ever parsed as JSON: it may come from anywhere.
    """
    try:
        with open(path, "rb") as stream:
            data = stream.read()
    except FileNotFoundError:
        return None
    except OSError as exc:
        raise DataError(f"cannot read {path}: {exc.strerror or exc}") from None
    corrupt = state_error(path)
    try:
        doc = json.loads(data.decode("utf-8"))
    except (UnicodeDecodeError, ValueError, RecursionError):
        raise corrupt("not JSON") from None
    if not isinstance(doc, dict) or doc.get("format") != STATE_FORMAT:
        raise corrupt(f"no {STATE_FORMAT!r} format tag")
    version = doc.get("version")
    if type(version) is not int or version < 1:
        raise corrupt("bad version")
    if version > STATE_VERSION:
        raise DataError(f"{path}: written by a newer kestov (state file version {version}, "
                        f"this one reads version {STATE_VERSION}); left as it was")
    rows, header, entries = doc.get("rows"), doc.get("header"), doc.get("indicators")
    if type(rows) is not int or rows < 0:
        raise corrupt("bad row count")
    if header is not None and not (isinstance(header, list) and header
                                   and all(isinstance(c, str) for c in header)):
        raise corrupt("bad header")
    # labels are printed in the error below: no control characters from a foreign file
    if not (isinstance(entries, list) and all(isinstance(e, dict) and isinstance(e.get("label"), str)
                                              and e["label"].isprintable() for e in entries)):
        raise corrupt("bad indicator list")
    return doc


def state_error(path):
    def corrupt(why):
        return DataError(f"{path}: not a usable kestov state file ({why}); left as it was")
    return corrupt


def restore_state(path, doc, feeds, needed):
    """(indicators, rows, input header) from a document read_state gave.

    Each indicator is rebuilt through its constructor from the configuration
    the command line asks for, then given the saved bytes.
    """
    corrupt = state_error(path)
    rows, header, entries = doc["rows"], doc["header"], doc["indicators"]
    saved = [e["label"] for e in entries]
    if saved != [feed.label for feed in feeds]:
        raise DataError(f"{path} holds the state of {describe(saved)}, "
                        f"not of {describe(feed.label for feed in feeds)}; left as it was")
    if header is not None:
        try:
            column_index(header, "saved header", needed, 1)
        except DataError as exc:
            raise corrupt(str(exc)) from None
    restored = []
    for feed, entry in zip(feeds, entries):
        config = config_of(feed.indicator)
        if entry.get("config") != config:
            raise DataError(f"{path}: {feed.label} was saved with the arguments {entry.get('config')!r}, "
                            f"now they are {config!r}; left as it was")
        try:
            blob = base64.b64decode(entry.get("state"), validate=True)
        except (TypeError, ValueError):
            raise corrupt(f"{feed.label}: state is not base64") from None
        indicator = type(feed.indicator)(*config)
        try:
            indicator.__setstate__(blob)
        except (ValueError, MemoryError, OverflowError) as exc:
            raise DataError(f"{path}: {feed.label}: {str(exc) or type(exc).__name__}; left as it was") from None
        if config_of(indicator) != config:
            raise corrupt(f"{feed.label}: the saved bytes hold other arguments")
        restored.append(indicator)
    return restored, rows, header


def write_state(path, data):
    """Replace path by data atomically: a crash leaves the old file or the new one, never a mix."""
    directory = os.path.dirname(os.path.abspath(path))
    try:
        fd, temporary = tempfile.mkstemp(prefix=f".{os.path.basename(path)}.", suffix=".tmp", dir=directory)
        try:
            with os.fdopen(fd, "wb") as stream:
                stream.write(data)
                stream.flush()
                os.fsync(stream.fileno())
            os.replace(temporary, path)
        except BaseException:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
            raise
    except OSError as exc:
        raise DataError(f"cannot write {path}: {exc.strerror or exc}") from None
    # the rename is durable only once the directory entry is on disk
    with contextlib.suppress(OSError):
        dirfd = os.open(directory, os.O_RDONLY)
        try:
            os.fsync(dirfd)
        finally:
            os.close(dirfd)


def input_lines(stream, signals):
    """Lines of stream as they arrive: one readline per line, so no row waits for the next."""
    number = 0
    while True:
        try:
            line = signals.wait(stream.readline)
        except OSError as exc:
            raise DataError(f"cannot read {FOLLOW_SOURCE}: {exc.strerror or exc}") from None
        if not line:
            return
        number += 1
        if isinstance(line, bytes):
            if number == 1:
                line = line.removeprefix(b"\xef\xbb\xbf")
            try:
                line = line.decode("utf-8")
            except UnicodeDecodeError:
                raise DataError(f"{FOLLOW_SOURCE}: line {number}: not UTF-8 text") from None
        yield line


class Follower:
    """Rows in, one output row out per input row, and the state of exactly the rows written."""

    def __init__(self, feeds, needed, output, saved=None, gaps=False):
        self.feeds, self.needed, self.output, self.gaps = feeds, needed, output, gaps
        self.writer = csv.writer(output, lineterminator="\n")
        self.indicators = [feed.indicator for feed in feeds]
        self.rows = 0
        # the input header whose output header has been written; None until it is
        self.header = None
        if saved is not None:
            self.indicators, self.rows, self.header = saved
        if self.header is not None:
            self.index, self.date_name = column_index(self.header, FOLLOW_SOURCE, needed, 1)

    def use(self, header, line):
        self.index, self.date_name = column_index(header, FOLLOW_SOURCE, self.needed, line)
        if self.header is None:
            names = [name for feed in self.feeds for name in feed.header()]
            self.writer.writerow(([header[0]] if self.date_name is not None else []) + names)
            self.output.flush()
        self.header = header

    def is_header(self, row):
        names = header_names(row)
        have = set(names) | ({"timestamp"} if names[0] in DATE_COLUMNS else set())
        return all(column in have for column in self.needed)

    def run(self, lines):
        reader = csv.reader(lines)
        first = True
        while True:
            try:
                row = next(reader, None)
            except csv.Error as exc:
                raise DataError(f"{FOLLOW_SOURCE}: line {reader.line_num}: {exc}") from None
            if row is None:
                if self.header is None:
                    raise DataError(f"{FOLLOW_SOURCE}: empty file")
                return
            if not row:
                continue
            # a restarted feed may begin with the header again or straight with data
            if first and (self.header is None or self.is_header(row)):
                self.use(row, reader.line_num)
            else:
                self.take(row, reader.line_num)
            first = False

    def take(self, row, line):
        values = row_values(row, len(self.header), self.index, FOLLOW_SOURCE, line, self.gaps)
        # Rows move copies, kept only once the whole row succeeded: a candle
        # one indicator refuses must not leave the ones before it advanced.
        moved = [copy.copy(indicator) for indicator in self.indicators]
        cells = [row[0]] if self.date_name is not None else []
        skipped = []
        for feed, indicator in zip(self.feeds, moved):
            if self.gaps and feed.skips_gaps and any(math.isnan(values[c]) for c in feed.inputs):
                skipped.append(feed)
                cells.extend(feed.cells(None))
                continue
            try:
                out = indicator.update(feed.argument(values))
            except ValueError as exc:
                raise DataError(f"{FOLLOW_SOURCE}: line {line}: {feed.label}: {exc}") from None
            cells.extend(feed.cells(out))
        self.writer.writerow(cells)
        self.output.flush()
        self.indicators = moved
        self.rows += 1
        for feed in skipped:
            feed.skipped += 1
            feed.first_skipped = feed.first_skipped or line

    def state(self):
        doc = {
            "format": STATE_FORMAT,
            "version": STATE_VERSION,
            "kestov": _kestov.__version__,
            "rows": self.rows,
            "header": self.header,
            "indicators": [
                {"label": feed.label, "config": config_of(indicator),
                 "state": base64.b64encode(indicator.__reduce__()[2]).decode("ascii")}
                for feed, indicator in zip(self.feeds, self.indicators)
            ],
        }
        return (json.dumps(doc, indent=1) + "\n").encode("utf-8")


def first_row(lines):
    """The first row of lines that is not empty, and the lines read up to and including it."""
    taken = []
    for line in lines:
        taken.append(line)
        try:
            row = next(csv.reader([line]), [])
        except csv.Error as exc:
            raise DataError(f"{FOLLOW_SOURCE}: line {len(taken)}: {exc}") from None
        if row:
            return row, taken
    raise DataError(f"{FOLLOW_SOURCE}: empty file")


def follow(args):
    indicators = requested_indicators(args.requests) if args.requests else None
    doc = None if args.state is None else read_state(args.state)
    signals = StopSignals()
    signals.install()
    try:
        return follow_input(args, indicators, doc, signals)
    finally:
        signals.uninstall()


def follow_input(args, indicators, doc, signals):
    lines = input_lines(getattr(sys.stdin, "buffer", sys.stdin), signals)
    if indicators is None and doc is not None and doc["header"] is not None:
        indicators = default_indicators(doc["header"], FOLLOW_SOURCE)
    if indicators is None:
        # without -i the columns choose the indicators: wait for the header line
        try:
            header, taken = first_row(lines)
        except Stop:
            return 128 + signals.pending
        check_header(header, FOLLOW_SOURCE, len(taken))
        indicators = default_indicators(header, FOLLOW_SOURCE)
        lines = itertools.chain(taken, lines)
    feeds = [Feed(*entry) for entry in indicators]
    needed = needed_columns(indicators)
    saved = None if doc is None else restore_state(args.state, doc, feeds, needed)
    if saved is not None:
        print(f"{PROG}: resuming after {saved[1]} rows from {args.state}", file=sys.stderr)
    if args.output is None:
        return follow_rows(args, Follower(feeds, needed, sys.stdout, saved, args.gaps), lines, signals)
    # a resumed run continues the file it wrote before, below its header
    mode = "a" if saved is not None and saved[2] is not None else "w"
    try:
        output = open(args.output, mode, encoding="utf-8", newline="")
    except OSError as exc:
        raise DataError(f"cannot write {args.output}: {exc.strerror or exc}") from None
    with output:
        return follow_rows(args, Follower(feeds, needed, output, saved, args.gaps), lines, signals)


def follow_rows(args, follower, lines, signals):
    if args.state is not None:
        # saved once up front too, so a place that cannot take the file fails now, not at the stop
        write_state(args.state, follower.state())
    try:
        follower.run(lines)
    except Stop:
        pass
    finally:
        # whatever ended the run (end of input, a signal, a bad row), keep the rows written so far
        if args.state is not None:
            write_state(args.state, follower.state())
        report_skipped(FOLLOW_SOURCE, [(feed.label, feed.skipped, feed.first_skipped)
                                       for feed in follower.feeds if feed.skipped])
    if signals.pending is None:
        return 0
    if args.state is not None:
        name = signal.Signals(signals.pending).name
        print(f"{PROG}: stopped by {name} after {follower.rows} rows; state saved in {args.state}",
              file=sys.stderr)
    return 128 + signals.pending


# -- entry point ------------------------------------------------------------

def make_parser():
    parser = Parser(
        prog=PROG,
        description="Compute technical indicators over a CSV of bars and write them as CSV.",
        epilog="Columns open, high, low, close, volume are matched case-insensitively; "
               "a first column named date/datetime/time/timestamp, or with no name, is copied to the output.",
    )
    parser.add_argument("csv", nargs="?", metavar="CSV",
                        help="input file ('-' for stdin); the bundled sample when omitted")
    parser.add_argument("-i", "--indicator", action="append", metavar="INDICATOR", dest="requests",
                        help="indicator as Name or Name(args), e.g. 'SMA(20)', "
                             "'MACD(fast=8, slow=21)'; repeatable; a bare Name runs at the defaults (20 for "
                             "a required period); when omitted, every indicator the file's columns allow")
    parser.add_argument("-o", "--output", metavar="FILE", help="output file (default: stdout)")
    parser.add_argument("--gaps", action="store_true",
                        help="let missing cells (empty, NaN, NA, null) through: value indicators skip them, "
                             "candle indicators skip the rows where a column they read has one")
    parser.add_argument("--plot", metavar="FILE.png",
                        help="also draw a chart: price with the overlays, volume, each oscillator in a panel "
                             "below (needs matplotlib); the CSV then goes only to -o")
    parser.add_argument("--window", type=window_spec, metavar="N|FROM..TO",
                        help="with --plot: draw only the last N bars, or the bars dated FROM to TO "
                             "(e.g. 2024-01-01..2024-06-30; either end may be left out)")
    parser.add_argument("--follow", action="store_true",
                        help="read bars from standard input as they arrive and write each row's "
                             "outputs at once (e.g. tail -f bars.csv | kestov --follow -i RSI)")
    parser.add_argument("--state", metavar="FILE",
                        help="with --follow: resume from FILE when it exists, and save the state of "
                             "the rows written there at the end of input, on an error and on "
                             "SIGINT, SIGTERM or SIGHUP")
    parser.add_argument("--list", action="store_true",
                        help="list the indicators, their arguments and input columns, and exit")
    parser.add_argument("--version", action="version", version=f"%(prog)s {_kestov.__version__}")
    return parser


def run(argv):
    try:
        args = make_parser().parse_args(argv)
    except SystemExit as exc:  # --help, --version
        return exc.code or 0
    if args.list:
        list_indicators(sys.stdout)
        sys.stdout.flush()
        return 0
    if args.state is not None and not args.follow:
        raise UsageError("--state needs --follow")
    if args.window is not None and args.plot is None:
        raise UsageError("--window needs --plot")
    if args.follow:
        if args.plot is not None:
            raise UsageError("--plot cannot draw a --follow run; leave one out")
        if args.csv not in (None, "-"):
            raise UsageError(f"--follow reads standard input, not {args.csv} (use: tail -f {args.csv} | kestov --follow ...)")
        return follow(args)
    plot = None if args.plot is None else plotter()
    source = source_name(args.csv)
    if args.requests:
        requested = requested_indicators(args.requests)
        choose = lambda header: requested  # noqa: E731
    else:
        choose = lambda header: default_indicators(header, source)  # noqa: E731
    table = load(args.csv, choose, plot.COLUMNS if plot else None, args.gaps)
    indicators, (arrays, rows, date_name, dates, lines) = table[0], table[1:]
    results, skipped = evaluate(indicators, arrays, rows, source, lines, args.gaps)
    report_skipped(source, [(label, len(missing), lines[missing[0]]) for label, missing in skipped])
    if plot is not None:
        draw(plot, args, source, table[1:], indicators, results)
        if args.output is None:
            return 0
    columns = compute(results)
    if args.output is None:
        write_csv(sys.stdout, date_name, dates, columns)
        sys.stdout.flush()
        return 0
    try:
        with open(args.output, "w", encoding="utf-8", newline="") as stream:
            write_csv(stream, date_name, dates, columns)
    except OSError as exc:
        raise DataError(f"cannot write {args.output}: {exc.strerror or exc}") from None
    return 0


def main(argv=None):
    try:
        return run(argv)
    except CliError as exc:
        message = " ".join(str(exc).splitlines())
        print(f"{PROG}: {message}", file=sys.stderr)
        return exc.status
    except BrokenPipeError:
        # The reader went away (e.g. `| head`); point stdout at devnull so the
        # interpreter's final flush does not complain either.
        try:
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, sys.stdout.fileno())
        except (OSError, ValueError, AttributeError):
            pass
        return 0
    except KeyboardInterrupt:
        return 130
