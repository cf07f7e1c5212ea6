"""Names for the columns of multi-output indicators."""

OUTPUT_COLUMNS = {
    "MACD": ("macd", "signal", "histogram"),
    "BollingerBands": ("upper", "middle", "lower", "stddev"),
    "Stochastic": ("k", "d"),
    "ADX": ("plus_di", "minus_di", "adx"),
    "Keltner": ("upper", "middle", "lower"),
    "Donchian": ("upper", "middle", "lower"),
    "Aroon": ("up", "down"),
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
