"""Names of the columns an indicator's batch reads and of those it returns."""

import inspect

# batch parameter names that are not column names themselves
INPUT_ALIASES = {"prices": "close"}

OUTPUT_COLUMNS = {
    "MACD": ("macd", "signal", "histogram"),
    "BollingerBands": ("upper", "middle", "lower", "stddev"),
    "Stochastic": ("k", "d"),
    "ADX": ("plus_di", "minus_di", "adx"),
    "Keltner": ("upper", "middle", "lower"),
    "Donchian": ("upper", "middle", "lower"),
    "Aroon": ("up", "down"),
    "StochRSI": ("k", "d"),
    "PPO": ("ppo", "signal", "histogram"),
    "KST": ("kst", "signal"),
    "SuperTrend": ("line", "direction"),
    "Ichimoku": ("tenkan", "kijun", "span_a", "span_b"),
    "Vortex": ("plus", "minus"),
    "HeikinAshi": ("open", "high", "low", "close"),
    "LinearRegression": ("value", "slope", "intercept", "angle", "forecast"),
}


def column_names(class_name, width):
    """Column names for a `width`-column output of `class_name`.

    Falls back to "0", "1", ... so a class that grows or is missing from the
    table still gets unique names instead of wrong ones.
    """
    names = OUTPUT_COLUMNS.get(class_name)
    if names is not None and len(names) == width:
        return names
    return tuple(str(i) for i in range(width))


def input_columns(cls):
    """Names of the price columns that cls.batch reads, in argument order.

    Taken from the method's text signature, so a class added to the module
    needs no entry here; "prices" reads the close column. Raises ValueError
    when batch has no readable signature.
    """
    try:
        params = list(inspect.signature(cls.batch).parameters)
    except (AttributeError, TypeError, ValueError):
        raise ValueError(f"{cls.__name__}: batch has no readable signature") from None
    if params and params[0] == "self":
        params = params[1:]
    return tuple(INPUT_ALIASES.get(p, p) for p in params)
