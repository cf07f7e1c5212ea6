# Types of the extension module. `python -m mypy.stubtest kestov._kestov`
# holds them against the built module (names, parameters, defaults,
# properties); tests/test_typing.py holds the return types against what the
# calls really return.

from typing import SupportsFloat, SupportsIndex, TypeAlias, final

from kestov.typing import Candle, FloatArray

# what a float argument accepts: float() of it, or its __index__
_Real: TypeAlias = SupportsFloat | SupportsIndex

__version__: str
__all__ = [
    "__version__",
    "SMA",
    "EMA",
    "WMA",
    "RSI",
    "MACD",
    "BollingerBands",
    "ATR",
    "Stochastic",
    "OBV",
    "DEMA",
    "TEMA",
    "HMA",
    "KAMA",
    "CCI",
    "ROC",
    "WilliamsR",
    "ADX",
    "MFI",
    "TRIX",
    "PSAR",
    "Keltner",
    "Donchian",
    "VWAP",
    "AwesomeOscillator",
    "Aroon",
]

@final
class SMA:
    """Simple moving average: the plain mean of the last `period` prices.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/SMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> SMA:
        """A new SMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the SMA value, a float, or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[SMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> SMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> SMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class EMA:
    """Exponential moving average: a mean that weights each price by `alpha = 2 / (period + 1)` and the previous average
    by the rest.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/EMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> EMA:
        """A new EMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the EMA value, a float, or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[EMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> EMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> EMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def alpha(self) -> float:
        """2 / (period + 1), the weight of each new input."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class WMA:
    """Linearly weighted moving average: the last `period` prices weighted 1 for the oldest up to `period` for the
    newest.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/WMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> WMA:
        """A new WMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the WMA value, a float, or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[WMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> WMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> WMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class RSI:
    """Relative strength index (Wilder): the average gain as a share of the average gain and loss, from 0 to 100.

    Output: a float. Warm-up: period + 1 finite inputs. See docs/handbook/RSI.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> RSI:
        """A new RSI(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the RSI value, a float, or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[RSI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> RSI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> RSI:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class MACD:
    """Moving average convergence/divergence (Appel): the fast EMA less the slow one, an EMA of that line as its signal,
    and their difference.

    Output: (macd, signal, histogram). Warm-up: slow + signal - 1 finite inputs. See docs/handbook/MACD.md.
    """
    def __new__(
        cls,
        fast: SupportsIndex = 12,
        slow: SupportsIndex = 26,
        signal: SupportsIndex = 9,
    ) -> MACD:
        """A new MACD(fast, slow, signal); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> tuple[float, float, float] | None:
        """Feed one price; returns the tuple (macd, signal, histogram), or None before the first output. A NaN or
        infinite price is skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n, 3)
        float64 array, columns macd, signal, histogram, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: slow + signal - 1."""
    def __reduce__(self) -> tuple[type[MACD], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> MACD:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> MACD:
        """An independent object with this configuration and state."""
    @property
    def periods(self) -> tuple[int, int, int]:
        """The periods as given: (fast, slow, signal)."""

@final
class BollingerBands:
    """Bollinger bands: the mean of the last `period` prices with bands a multiple of their standard deviation away.

    Output: (upper, middle, lower, stddev). Warm-up: period finite inputs. See docs/handbook/BollingerBands.md.
    """
    def __new__(cls, period: SupportsIndex = 20, multiplier: _Real = 2.0) -> BollingerBands:
        """A new BollingerBands(period, multiplier); a configuration it refuses raises ValueError (see its handbook
        page).
        """
    def update(self, value: _Real) -> tuple[float, float, float, float] | None:
        """Feed one price; returns the tuple (upper, middle, lower, stddev), or None before the first output. A NaN or
        infinite price is skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n, 4)
        float64 array, columns upper, middle, lower, stddev, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[BollingerBands], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> BollingerBands:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> BollingerBands:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def multiplier(self) -> float:
        """The multiplier, as given."""

@final
class ATR:
    """Average true range (Wilder): the average size of a candle's range widened to the previous close.

    Output: a float. Warm-up: period candles. See docs/handbook/ATR.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> ATR:
        """A new ATR(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the ATR value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[ATR], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ATR:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ATR:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class Stochastic:
    """Stochastic oscillator (Lane): where the close lies in the range of the last `k_period` candles, from 0 to 100
    (%K), and its simple average (%D).

    Output: (k, d). Warm-up: k_period + d_period - 1 candles. See docs/handbook/Stochastic.md.
    """
    def __new__(cls, k_period: SupportsIndex = 14, d_period: SupportsIndex = 3) -> Stochastic:
        """A new Stochastic(k_period, d_period); a configuration it refuses raises ValueError (see its handbook page).
        """
    def update(self, candle: Candle) -> tuple[float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (k, d),
        or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n, 2) float64 array, columns k, d, NaN where update gives None. Stops with ValueError at an invalid
        candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: k_period + d_period - 1."""
    def __reduce__(self) -> tuple[type[Stochastic], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Stochastic:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Stochastic:
        """An independent object with this configuration and state."""
    @property
    def periods(self) -> tuple[int, int]:
        """The periods as given: (k_period, d_period)."""

@final
class OBV:
    """On-balance volume (Granville): a running total of volume, added on candles that close up and subtracted on those
    that close down.

    Output: a float. Warm-up: 1 candle. See docs/handbook/OBV.md.
    """
    def __new__(cls) -> OBV:
        """A new OBV(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the OBV value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, close: FloatArray, volume: FloatArray) -> FloatArray:
        """Feed the columns close, volume (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[OBV], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> OBV:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> OBV:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class DEMA:
    """Double exponential moving average (Mulloy): `2 * E1 - E2`, where `E1` is an EMA of the prices and `E2` an EMA of
    `E1`, which takes most of the EMA's lag away.

    Output: a float. Warm-up: 2 * period - 1 finite inputs. See docs/handbook/DEMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> DEMA:
        """A new DEMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the DEMA value, a float, or None before the first output. A NaN or infinite price is
        skipped by the first average, whose last value then goes on down the chain as a new one.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: 2 * period - 1."""
    def __reduce__(self) -> tuple[type[DEMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> DEMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> DEMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class TEMA:
    """Triple exponential moving average (Mulloy): `3 * E1 - 3 * E2 + E3` over a chain of three EMAs.

    Output: a float. Warm-up: 3 * period - 2 finite inputs. See docs/handbook/TEMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> TEMA:
        """A new TEMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the TEMA value, a float, or None before the first output. A NaN or infinite price is
        skipped by the first average, whose last value then goes on down the chain as a new one.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: 3 * period - 2."""
    def __reduce__(self) -> tuple[type[TEMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> TEMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> TEMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class HMA:
    """Hull moving average: a WMA of `sqrt(period)` over `2 * WMA(period / 2) - WMA(period)`, a smooth average with
    little lag.

    Output: a float. Warm-up: period + round(sqrt(period)) - 1 finite inputs. See docs/handbook/HMA.md.
    """
    def __new__(cls, period: SupportsIndex) -> HMA:
        """A new HMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the HMA value, a float, or None before the first output. A NaN or infinite price is
        skipped by the first average, whose last value then goes on down the chain as a new one.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period + round(sqrt(period)) - 1."""
    def __reduce__(self) -> tuple[type[HMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> HMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> HMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class KAMA:
    """Kaufman's adaptive moving average: an exponential average whose smoothing follows the efficiency ratio, fast in a
    trend and slow in noise.

    Output: a float. Warm-up: er_period + 1 finite inputs. See docs/handbook/KAMA.md.
    """
    def __new__(
        cls,
        er_period: SupportsIndex = 10,
        fast: SupportsIndex = 2,
        slow: SupportsIndex = 30,
    ) -> KAMA:
        """A new KAMA(er_period, fast, slow); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the KAMA value, a float, or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: er_period + 1."""
    def __reduce__(self) -> tuple[type[KAMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> KAMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> KAMA:
        """An independent object with this configuration and state."""

@final
class CCI:
    """Commodity channel index (Lambert): the distance of the typical price from its mean, in units of 0.015 mean
    absolute deviations.

    Output: a float. Warm-up: period candles. See docs/handbook/CCI.md.
    """
    def __new__(cls, period: SupportsIndex = 20) -> CCI:
        """A new CCI(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the CCI value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[CCI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> CCI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> CCI:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class ROC:
    """Rate of change: the change from the price `period` inputs back, in percent of that price.

    Output: a float. Warm-up: period + 1 finite inputs. See docs/handbook/ROC.md.
    """
    def __new__(cls, period: SupportsIndex) -> ROC:
        """A new ROC(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the ROC value, a float, or None before the first output. A NaN or infinite price
        gives None and changes nothing.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[ROC], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ROC:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ROC:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""

@final
class WilliamsR:
    """Williams %R: how far the close lies below the highest high of the last `period` candles, as a share of their
    range, from -100 to 0.

    Output: a float. Warm-up: period candles. See docs/handbook/WilliamsR.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> WilliamsR:
        """A new WilliamsR(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the WilliamsR
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[WilliamsR], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> WilliamsR:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> WilliamsR:
        """An independent object with this configuration and state."""

@final
class ADX:
    """Average directional index (Wilder) with its two directional indicators: how strongly the market trends, whichever
    way, and which way.

    Output: (plus_di, minus_di, adx). Warm-up: 2 * period candles. See docs/handbook/ADX.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> ADX:
        """A new ADX(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> tuple[float, float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (plus_di,
        minus_di, adx), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n, 3) float64 array, columns plus_di, minus_di, adx, NaN where update gives None. Stops with
        ValueError at an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 2 * period."""
    def __reduce__(self) -> tuple[type[ADX], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ADX:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ADX:
        """An independent object with this configuration and state."""

@final
class MFI:
    """Money flow index: the RSI of money flow, the typical price times the volume, over the last `period` candles, from
    0 to 100.

    Output: a float. Warm-up: period candles. See docs/handbook/MFI.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> MFI:
        """A new MFI(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the MFI value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(
        self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray
    ) -> FloatArray:
        """Feed the columns high, low, close, volume (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle,
        keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[MFI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> MFI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> MFI:
        """An independent object with this configuration and state."""

@final
class TRIX:
    """TRIX (Hutson): the one-step change of a triple-smoothed EMA, in percent.

    Output: a float. Warm-up: 3 * period - 1 finite inputs. See docs/handbook/TRIX.md.
    """
    def __new__(cls, period: SupportsIndex) -> TRIX:
        """A new TRIX(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the TRIX value, a float, or None before the first output. A NaN or infinite price is
        skipped by the first average, whose last value then goes on down the chain as a new one.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n,) float64
        array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True from the first smoothed value, one input before the first output."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: 3 * period - 1."""
    def __reduce__(self) -> tuple[type[TRIX], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> TRIX:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> TRIX:
        """An independent object with this configuration and state."""

@final
class PSAR:
    """Parabolic stop and reverse (Wilder): a trailing stop that accelerates toward the price as a trend extends, and
    flips side when the price touches it.

    Output: a float. Warm-up: 2 candles. See docs/handbook/PSAR.md.
    """
    def __new__(cls, af_start: _Real = 0.02, af_step: _Real = 0.02, af_max: _Real = 0.20) -> PSAR:
        """A new PSAR(af_start, af_step, af_max); a configuration it refuses raises ValueError (see its handbook page).
        """
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the PSAR value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True from the first candle, one candle before the first value."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 2."""
    def __reduce__(self) -> tuple[type[PSAR], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> PSAR:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> PSAR:
        """An independent object with this configuration and state."""

@final
class Keltner:
    """Keltner channels: an EMA of the typical price with bands a multiple of the ATR away.

    Output: (upper, middle, lower). Warm-up: max(ema_period, atr_period) candles. See docs/handbook/Keltner.md.
    """
    def __new__(
        cls,
        ema_period: SupportsIndex = 20,
        atr_period: SupportsIndex = 10,
        multiplier: _Real = 2.0,
    ) -> Keltner:
        """A new Keltner(ema_period, atr_period, multiplier); a configuration it refuses raises ValueError (see its
        handbook page).
        """
    def update(self, candle: Candle) -> tuple[float, float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (upper,
        middle, lower), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n, 3) float64 array, columns upper, middle, lower, NaN where update gives None. Stops with
        ValueError at an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: max(ema_period, atr_period)."""
    def __reduce__(self) -> tuple[type[Keltner], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Keltner:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Keltner:
        """An independent object with this configuration and state."""

@final
class Donchian:
    """Donchian channel: the highest high and lowest low of the last `period` candles, and their midpoint.

    Output: (upper, middle, lower). Warm-up: period candles. See docs/handbook/Donchian.md.
    """
    def __new__(cls, period: SupportsIndex = 20) -> Donchian:
        """A new Donchian(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> tuple[float, float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (upper,
        middle, lower), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray) -> FloatArray:
        """Feed the columns high, low (1-D contiguous float64 arrays of one length) row by row, as update would; returns
        an (n, 3) float64 array, columns upper, middle, lower, NaN where update gives None. Stops with ValueError at an
        invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[Donchian], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Donchian:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Donchian:
        """An independent object with this configuration and state."""

@final
class VWAP:
    """Volume-weighted average price since construction or the last `reset`: the typical price of every candle, weighted
    by its volume.

    Output: a float. Warm-up: 1 candle. See docs/handbook/VWAP.md.
    """
    def __new__(cls) -> VWAP:
        """A new VWAP(); it takes no parameters."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the VWAP value, a
        float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(
        self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray
    ) -> FloatArray:
        """Feed the columns high, low, close, volume (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle,
        keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once some volume has traded."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[VWAP], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> VWAP:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> VWAP:
        """An independent object with this configuration and state."""

@final
class AwesomeOscillator:
    """Awesome oscillator (Williams): a fast simple average of the median price less a slow one.

    Output: a float. Warm-up: slow candles. See docs/handbook/AwesomeOscillator.md.
    """
    def __new__(cls, fast: SupportsIndex = 5, slow: SupportsIndex = 34) -> AwesomeOscillator:
        """A new AwesomeOscillator(fast, slow); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the
        AwesomeOscillator value, a float, or None before the first output. An invalid candle raises ValueError and
        changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray) -> FloatArray:
        """Feed the columns high, low (1-D contiguous float64 arrays of one length) row by row, as update would; returns
        an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping the rows
        before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: slow."""
    def __reduce__(self) -> tuple[type[AwesomeOscillator], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> AwesomeOscillator:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> AwesomeOscillator:
        """An independent object with this configuration and state."""

@final
class Aroon:
    """Aroon (Chande): how recently, within the last `period + 1` candles, the highest high and the lowest low came,
    from 0 to 100.

    Output: (up, down). Warm-up: period + 1 candles. See docs/handbook/Aroon.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> Aroon:
        """A new Aroon(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> tuple[float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (up,
        down), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray) -> FloatArray:
        """Feed the columns high, low (1-D contiguous float64 arrays of one length) row by row, as update would; returns
        an (n, 2) float64 array, columns up, down, NaN where update gives None. Stops with ValueError at an invalid
        candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[Aroon], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Aroon:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Aroon:
        """An independent object with this configuration and state."""
