"""Command-line program: run indicators over a CSV of bars, write a CSV of results.

    kestov [CSV] [-i INDICATOR]... [-o FILE] [--plot FILE.png]

Everything about the indicators (names, constructor arguments, batch inputs)
comes from the extension module's registry, so new classes show up here
without changes to this file.
"""

import argparse
import ast
import csv
import difflib
import inspect
import math
import os
import sys
from importlib import resources

import numpy as np

from kestov import _kestov
from kestov.columns import column_names, input_columns

PROG = "kestov"
DATE_COLUMNS = ("date", "datetime", "time", "timestamp")
# what a required constructor parameter gets when no -i is given
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
    return {name: getattr(_kestov, name) for name in _kestov.__all__ if name != "__version__"}


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
    """(label, class name, instance, inputs) for each -i, or every class by default."""
    classes = registry()
    if not requests:
        return [(name, name, build(cls, name, default_args(cls), {}), batch_inputs(cls))
                for name, cls in classes.items()]
    result, seen = [], set()
    for text in requests:
        name, args, kwargs = parse_request(text)
        cls = lookup(name, classes)
        label = canonical(name, args, kwargs)
        if label in seen:
            raise UsageError(f"{label} requested more than once")
        seen.add(label)
        result.append((label, name, build(cls, label, args, kwargs), batch_inputs(cls)))
    return result


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


def read_table(reader, source, needed):
    """Read the needed columns as float64 arrays.

    Returns (arrays, row count, date column name or None, date values).
    """
    header = next((row for row in reader if row), None)
    if header is None:
        raise DataError(f"{source}: empty file")
    if all(_number(cell) is not None for cell in header):
        raise DataError(f"{source}: missing header row (line {reader.line_num} looks like data)")
    names = [cell.strip().lower() for cell in header]
    index = {}
    for column, required_by in needed.items():
        hits = [i for i, n in enumerate(names) if n == column]
        if not hits:
            if required_by is None:
                continue
            raise DataError(f"{source}: no {column!r} column (needed by {required_by})")
        if len(hits) > 1:
            raise DataError(f"{source}: column {column!r} appears more than once")
        index[column] = hits[0]
    date_name = header[0] if names[0] in DATE_COLUMNS else None

    values = {column: [] for column in index}
    dates = []
    rows = 0
    for row in reader:
        if not row:
            continue
        line = reader.line_num
        if len(row) != len(header):
            raise DataError(f"{source}: line {line}: expected {len(header)} cells, got {len(row)}")
        for column, i in index.items():
            text = row[i]
            value = _number(text)
            if value is None:
                what = "empty cell" if not text.strip() else f"not a number: {text!r}"
                raise DataError(f"{source}: line {line}: column {column!r}: {what}")
            if not math.isfinite(value):
                raise DataError(f"{source}: line {line}: column {column!r}: {text.strip()!r} is not finite")
            values[column].append(value)
        if date_name is not None:
            dates.append(row[0])
        rows += 1
    arrays = {column: np.array(v, dtype=np.float64) for column, v in values.items()}
    return arrays, rows, date_name, dates


def load(path, indicators, extra=None):
    """Read the columns the indicators need, and those of extra (column -> who needs it, None if optional)."""
    needed = {}
    for label, _, _, inputs in indicators:
        for column in inputs:
            needed.setdefault(column, label)
    for column, required_by in (extra or {}).items():
        needed.setdefault(column, required_by)
    source = "sample.csv" if path is None else ("<stdin>" if path == "-" else path)
    stream = open_input(path)
    reader = csv.reader(stream)
    try:
        return read_table(reader, source, needed)
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

def evaluate(indicators, arrays, rows):
    """(label, class name, batch result) for each indicator."""
    out = []
    for label, name, indicator, inputs in indicators:
        try:
            result = indicator.batch(*(arrays[c] for c in inputs))
        except ValueError as exc:
            raise DataError(f"{label}: {exc}") from None
        result = np.asarray(result, dtype=np.float64)
        if result.shape[:1] != (rows,) or result.ndim not in (1, 2):
            raise DataError(f"{label}: batch returned shape {result.shape} for {rows} rows")
        out.append((label, name, result))
    return out


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


def draw(plot, path, arrays, rows, dates, results):
    if rows == 0:
        raise DataError("nothing to plot: no rows")
    try:
        plot.render(path, arrays, dates, results)
    except OSError as exc:
        raise DataError(f"cannot write {path}: {exc.strerror or exc}") from None
    except ValueError as exc:  # e.g. an image format matplotlib does not know
        raise UsageError(f"--plot {path}: {exc}") from None


# -- entry point ------------------------------------------------------------

def make_parser():
    parser = Parser(
        prog=PROG,
        description="Compute technical indicators over a CSV of bars and write them as CSV.",
        epilog="Columns open, high, low, close, volume are matched case-insensitively; "
               "a first column named date/datetime/time/timestamp is copied to the output.",
    )
    parser.add_argument("csv", nargs="?", metavar="CSV",
                        help="input file ('-' for stdin); the bundled sample when omitted")
    parser.add_argument("-i", "--indicator", action="append", metavar="INDICATOR", dest="requests",
                        help="indicator as Name or Name(args), e.g. 'SMA(20)', "
                             "'MACD(fast=8, slow=21)'; repeatable; all at defaults when omitted")
    parser.add_argument("-o", "--output", metavar="FILE", help="output file (default: stdout)")
    parser.add_argument("--plot", metavar="FILE.png",
                        help="also draw a chart: price with the overlays, each oscillator in a panel below "
                             "(needs matplotlib); the CSV then goes only to -o")
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
    plot = None if args.plot is None else plotter()
    indicators = requested_indicators(args.requests)
    arrays, rows, date_name, dates = load(args.csv, indicators, plot.COLUMNS if plot else None)
    results = evaluate(indicators, arrays, rows)
    if plot is not None:
        draw(plot, args.plot, arrays, rows, dates if date_name else None, results)
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
