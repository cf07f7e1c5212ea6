# Types of the compiled kestov.many module; checked by stubtest like _kestov.

from typing import SupportsIndex, final

from kestov import _kestov
from kestov.typing import FloatArray

_Indicator = (
    _kestov.SMA | _kestov.EMA | _kestov.WMA | _kestov.RSI | _kestov.MACD | _kestov.BollingerBands | _kestov.ATR
    | _kestov.Stochastic | _kestov.OBV | _kestov.DEMA | _kestov.TEMA | _kestov.HMA | _kestov.KAMA | _kestov.CCI
    | _kestov.ROC | _kestov.WilliamsR | _kestov.ADX | _kestov.MFI | _kestov.TRIX | _kestov.PSAR | _kestov.Keltner
    | _kestov.Donchian | _kestov.VWAP | _kestov.AwesomeOscillator | _kestov.Aroon
)

@final
class Panel:
    """One indicator over many series at once: a state per series (per symbol), a row of every series per call.

    Column s of a result is, bit for bit, what a copy of the indicator gives on series s. See docs/many.md.
    """
    def __new__(cls, indicator: _Indicator, series: SupportsIndex) -> Panel:
        """`series` copies of `indicator`, with its configuration and current state."""
    def batch(self, *columns: FloatArray, threads: SupportsIndex | None = None) -> FloatArray:
        """The class's own batch columns, each a C-contiguous float64 array of shape (rows, series); returns (rows,
        series), or (rows, series, k) for k outputs. A series whose every input is NaN in a row has no bar there.
        `threads` (default: the cores) changes no bit.
        """
    def update(self, *columns: FloatArray) -> FloatArray:
        """One row, each column of shape (series,); returns (series,) or (series, k), NaN where there is no output."""
    def reset(self) -> None:
        """Reset every series."""
    def __len__(self) -> int:
        """The number of series."""
    def __getitem__(self, series: SupportsIndex, /) -> _Indicator:
        """A new indicator object holding the state of one series."""
    def __setitem__(self, series: SupportsIndex, indicator: _Indicator, /) -> None:
        """Set one series from an indicator of the same class and configuration."""
    def __reduce__(self) -> tuple[type[Panel], tuple[_Indicator, int], bytes]:
        """For pickle: the prototype, the number of series and the saved states."""
    def __setstate__(self, state: bytes, /) -> None:
        """Restore the states saved by __reduce__ (pickle)."""
