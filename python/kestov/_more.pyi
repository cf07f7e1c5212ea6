# Types of kestov._more, the classes added after the first 25; held against
# the built module by stubtest like _kestov.pyi.

from typing import SupportsFloat, SupportsIndex, TypeAlias, final

from kestov.typing import Candle, FloatArray, Int64Array, Pair

_Real: TypeAlias = SupportsFloat | SupportsIndex

__version__: str
__all__ = [
    "__version__",
    "Momentum",
    "TrueRange",
    "StochRSI",
    "ADXR",
    "DX",
    "PPO",
    "APO",
    "TSI",
    "CMO",
    "UltimateOscillator",
    "KST",
    "Coppock",
    "DPO",
    "SuperTrend",
    "Ichimoku",
    "AroonOscillator",
    "BalanceOfPower",
    "ZLEMA",
    "T3",
    "TRIMA",
    "VWMA",
    "RMA",
    "Correlation",
    "Beta",
    "SessionVWAP",
    "AccumulationDistribution",
    "ChaikinOscillator",
    "ChaikinMoneyFlow",
    "ForceIndex",
    "EaseOfMovement",
    "PVT",
    "NVI",
    "PVI",
    "Vortex",
    "MassIndex",
    "HeikinAshi",
    "StdDev",
    "Variance",
    "LinearRegression",
    "MidPoint",
    "MidPrice",
    "NATR",
]

@final
class Momentum:
    """value - value `period` finite inputs back; NaN and infinities are skipped (the output repeats).

    Output: a float. Warm-up: period + 1 finite inputs. See docs/handbook/Momentum.md.
    """
    def __new__(cls, period: SupportsIndex = 10) -> Momentum:
        """A new Momentum(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the Momentum value, a float, or None before the first output. A NaN or infinite price
        is skipped: the last output is returned again.
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
    def __reduce__(self) -> tuple[type[Momentum], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Momentum:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Momentum:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class TrueRange:
    """The largest of high - low, |high - previous close| and |low - previous close|; from the second candle.

    Output: a float. Warm-up: 2 candles. See docs/handbook/TrueRange.md.
    """
    def __new__(cls) -> TrueRange:
        """A new TrueRange(); it takes no parameters."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the TrueRange
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
        """How many candles the first output takes: 2."""
    def __reduce__(self) -> tuple[type[TrueRange], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> TrueRange:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> TrueRange:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class StochRSI:
    """%K: the RSI's place in the range of its last k_period values (50 when flat); %D: their simple average.

    Output: (k, d). Warm-up: period + k_period + d_period - 1 finite inputs. See docs/handbook/StochRSI.md.
    """
    def __new__(cls, period: SupportsIndex = 14, k_period: SupportsIndex = 5, d_period: SupportsIndex = 3) -> StochRSI:
        """A new StochRSI(period, k_period, d_period); a configuration it refuses raises ValueError (see its handbook
        page).
        """
    def update(self, value: _Real) -> tuple[float, float] | None:
        """Feed one price; returns the tuple (k, d), or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n, 2)
        float64 array, columns k, d, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: period + k_period + d_period - 1."""
    def __reduce__(self) -> tuple[type[StochRSI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> StochRSI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> StochRSI:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def k_period(self) -> int:
        """The k_period, as given."""
    @property
    def d_period(self) -> int:
        """The d_period, as given."""
    @property
    def value(self) -> tuple[float, float] | None:
        """The last output, or None before the first."""

@final
class ADXR:
    """The mean of today's ADX (Wilder's average of DX) and the ADX period - 1 values back.

    Output: a float. Warm-up: 3 * period - 1 candles. See docs/handbook/ADXR.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> ADXR:
        """A new ADXR(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the ADXR value, a
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
        """How many candles the first output takes: 3 * period - 1."""
    def __reduce__(self) -> tuple[type[ADXR], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ADXR:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ADXR:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class DX:
    """100 * |+DI - -DI| / (+DI + -DI) from Wilder's smoothed true range and directional movements.

    Output: a float. Warm-up: period + 1 candles. See docs/handbook/DX.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> DX:
        """A new DX(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the DX value, a
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
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[DX], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> DX:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> DX:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class PPO:
    """(fast EMA - slow EMA) / slow EMA * 100, an EMA of it as the signal, and their difference.

    Output: (ppo, signal, histogram). Warm-up: slow + signal - 1 finite inputs. See docs/handbook/PPO.md.
    """
    def __new__(cls, fast: SupportsIndex = 12, slow: SupportsIndex = 26, signal: SupportsIndex = 9) -> PPO:
        """A new PPO(fast, slow, signal); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> tuple[float, float, float] | None:
        """Feed one price; returns the tuple (ppo, signal, histogram), or None before the first output. A NaN or
        infinite price is skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n, 3)
        float64 array, columns ppo, signal, histogram, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: slow + signal - 1."""
    def __reduce__(self) -> tuple[type[PPO], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> PPO:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> PPO:
        """An independent object with this configuration and state."""
    @property
    def fast(self) -> int:
        """The fast, as given."""
    @property
    def slow(self) -> int:
        """The slow, as given."""
    @property
    def signal(self) -> int:
        """The signal, as given."""
    @property
    def value(self) -> tuple[float, float, float] | None:
        """The last output, or None before the first."""

@final
class APO:
    """Fast EMA - slow EMA.

    Output: a float. Warm-up: slow finite inputs. See docs/handbook/APO.md.
    """
    def __new__(cls, fast: SupportsIndex = 12, slow: SupportsIndex = 26) -> APO:
        """A new APO(fast, slow); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the APO value, a float, or None before the first output. A NaN or infinite price is
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
        """How many finite inputs the first output takes: slow."""
    def __reduce__(self) -> tuple[type[APO], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> APO:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> APO:
        """An independent object with this configuration and state."""
    @property
    def fast(self) -> int:
        """The fast, as given."""
    @property
    def slow(self) -> int:
        """The slow, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class TSI:
    """100 * the doubly EMA-smoothed change over the doubly EMA-smoothed absolute change.

    Output: a float. Warm-up: long + short finite inputs. See docs/handbook/TSI.md.
    """
    def __new__(cls, long: SupportsIndex = 25, short: SupportsIndex = 13) -> TSI:
        """A new TSI(long, short); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the TSI value, a float, or None before the first output. A NaN or infinite price is
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
        """How many finite inputs the first output takes: long + short."""
    def __reduce__(self) -> tuple[type[TSI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> TSI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> TSI:
        """An independent object with this configuration and state."""
    @property
    def long(self) -> int:
        """The long, as given."""
    @property
    def short(self) -> int:
        """The short, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class CMO:
    """100 * (gains - losses) / (gains + losses), both Wilder averages of the changes.

    Output: a float. Warm-up: period + 1 finite inputs. See docs/handbook/CMO.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> CMO:
        """A new CMO(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the CMO value, a float, or None before the first output. A NaN or infinite price is
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
    def __reduce__(self) -> tuple[type[CMO], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> CMO:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> CMO:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class UltimateOscillator:
    """Buying pressure over true range in three windows, weighted 4, 2, 1, from 0 to 100.

    Output: a float. Warm-up: slow + 1 candles. See docs/handbook/UltimateOscillator.md.
    """
    def __new__(cls, fast: SupportsIndex = 7, medium: SupportsIndex = 14, slow: SupportsIndex = 28) -> UltimateOscillator:
        """A new UltimateOscillator(fast, medium, slow); a configuration it refuses raises ValueError (see its handbook
        page).
        """
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the
        UltimateOscillator value, a float, or None before the first output. An invalid candle raises ValueError and
        changes nothing.
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
        """How many candles the first output takes: slow + 1."""
    def __reduce__(self) -> tuple[type[UltimateOscillator], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> UltimateOscillator:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> UltimateOscillator:
        """An independent object with this configuration and state."""
    @property
    def fast(self) -> int:
        """The fast, as given."""
    @property
    def medium(self) -> int:
        """The medium, as given."""
    @property
    def slow(self) -> int:
        """The slow, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class KST:
    """Four simple-averaged rates of change weighted 1 to 4 and added, and a simple average of that as the signal.

    Output: (kst, signal). Warm-up: max(r1 + s1, r2 + s2, r3 + s3, r4 + s4) + signal - 1 finite inputs. See
    docs/handbook/KST.md.
    """
    def __new__(cls, r1: SupportsIndex = 10, r2: SupportsIndex = 15, r3: SupportsIndex = 20, r4: SupportsIndex = 30, s1: SupportsIndex = 10, s2: SupportsIndex = 10, s3: SupportsIndex = 10, s4: SupportsIndex = 15, signal: SupportsIndex = 9) -> KST:
        """A new KST(r1, r2, r3, r4, s1, s2, s3, s4, signal); a configuration it refuses raises ValueError (see its
        handbook page).
        """
    def update(self, value: _Real) -> tuple[float, float] | None:
        """Feed one price; returns the tuple (kst, signal), or None before the first output. A NaN or infinite price is
        skipped: the last output is returned again.
        """
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the column prices, a 1-D contiguous float64 array, row by row, as update would; returns an (n, 2)
        float64 array, columns kst, signal, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many finite inputs the first output takes: max(r1 + s1, r2 + s2, r3 + s3, r4 + s4) + signal - 1."""
    def __reduce__(self) -> tuple[type[KST], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> KST:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> KST:
        """An independent object with this configuration and state."""
    @property
    def r1(self) -> int:
        """The r1, as given."""
    @property
    def r2(self) -> int:
        """The r2, as given."""
    @property
    def r3(self) -> int:
        """The r3, as given."""
    @property
    def r4(self) -> int:
        """The r4, as given."""
    @property
    def s1(self) -> int:
        """The s1, as given."""
    @property
    def s2(self) -> int:
        """The s2, as given."""
    @property
    def s3(self) -> int:
        """The s3, as given."""
    @property
    def s4(self) -> int:
        """The s4, as given."""
    @property
    def signal(self) -> int:
        """The signal, as given."""
    @property
    def value(self) -> tuple[float, float] | None:
        """The last output, or None before the first."""

@final
class Coppock:
    """A WMA of the sum of two rates of change.

    Output: a float. Warm-up: max(roc1, roc2) + wma_period finite inputs. See docs/handbook/Coppock.md.
    """
    def __new__(cls, wma_period: SupportsIndex = 10, roc1: SupportsIndex = 11, roc2: SupportsIndex = 14) -> Coppock:
        """A new Coppock(wma_period, roc1, roc2); a configuration it refuses raises ValueError (see its handbook page).
        """
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the Coppock value, a float, or None before the first output. A NaN or infinite price
        is skipped: the last output is returned again.
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
        """How many finite inputs the first output takes: max(roc1, roc2) + wma_period."""
    def __reduce__(self) -> tuple[type[Coppock], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Coppock:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Coppock:
        """An independent object with this configuration and state."""
    @property
    def wma_period(self) -> int:
        """The wma_period, as given."""
    @property
    def roc1(self) -> int:
        """The roc1, as given."""
    @property
    def roc2(self) -> int:
        """The roc2, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class DPO:
    """The input period // 2 + 1 inputs back less the SMA of the last period inputs.

    Output: a float. Warm-up: max(period, period // 2 + 2) finite inputs. See docs/handbook/DPO.md.
    """
    def __new__(cls, period: SupportsIndex = 20) -> DPO:
        """A new DPO(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the DPO value, a float, or None before the first output. A NaN or infinite price is
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
        """How many finite inputs the first output takes: max(period, period // 2 + 2)."""
    def __reduce__(self) -> tuple[type[DPO], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> DPO:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> DPO:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class SuperTrend:
    """The trailing ATR band on the trend's far side, and the trend (+1 up, -1 down).

    Output: (line, direction). Warm-up: period + 1 candles. See docs/handbook/SuperTrend.md.
    """
    def __new__(cls, period: SupportsIndex = 10, multiplier: _Real = 3.0) -> SuperTrend:
        """A new SuperTrend(period, multiplier); a configuration it refuses raises ValueError (see its handbook page).
        """
    def update(self, candle: Candle) -> tuple[float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (line,
        direction), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n, 2) float64 array, columns line, direction, NaN where update gives None. Stops with ValueError at
        an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[SuperTrend], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> SuperTrend:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> SuperTrend:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def multiplier(self) -> float:
        """The multiplier, as given."""
    @property
    def value(self) -> tuple[float, float] | None:
        """The last output, or None before the first."""

@final
class Ichimoku:
    """Tenkan, kijun, span A and span B as of the candle (a chart draws the spans kijun candles ahead).

    Output: (tenkan, kijun, span_a, span_b). Warm-up: max(tenkan, kijun, senkou) candles. See docs/handbook/Ichimoku.md.
    """
    def __new__(cls, tenkan: SupportsIndex = 9, kijun: SupportsIndex = 26, senkou: SupportsIndex = 52) -> Ichimoku:
        """A new Ichimoku(tenkan, kijun, senkou); a configuration it refuses raises ValueError (see its handbook page).
        """
    def update(self, candle: Candle) -> tuple[float, float, float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (tenkan,
        kijun, span_a, span_b), or None before the first output. An invalid candle raises ValueError and changes
        nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray) -> FloatArray:
        """Feed the columns high, low (1-D contiguous float64 arrays of one length) row by row, as update would; returns
        an (n, 4) float64 array, columns tenkan, kijun, span_a, span_b, NaN where update gives None. Stops with
        ValueError at an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: max(tenkan, kijun, senkou)."""
    def __reduce__(self) -> tuple[type[Ichimoku], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Ichimoku:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Ichimoku:
        """An independent object with this configuration and state."""
    @property
    def tenkan(self) -> int:
        """The tenkan, as given."""
    @property
    def kijun(self) -> int:
        """The kijun, as given."""
    @property
    def senkou(self) -> int:
        """The senkou, as given."""
    @property
    def value(self) -> tuple[float, float, float, float] | None:
        """The last output, or None before the first."""

@final
class AroonOscillator:
    """Aroon up - Aroon down, from -100 to 100.

    Output: a float. Warm-up: period + 1 candles. See docs/handbook/AroonOscillator.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> AroonOscillator:
        """A new AroonOscillator(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the AroonOscillator
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
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
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[AroonOscillator], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> AroonOscillator:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> AroonOscillator:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class BalanceOfPower:
    """(close - open) / (high - low) of each candle; 0 for a candle with no range.

    Output: a float. Warm-up: 1 candle. See docs/handbook/BalanceOfPower.md.
    """
    def __new__(cls) -> BalanceOfPower:
        """A new BalanceOfPower(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the BalanceOfPower
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, open: FloatArray, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns open, high, low, close (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle,
        keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[BalanceOfPower], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> BalanceOfPower:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> BalanceOfPower:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class ZLEMA:
    """An EMA of x + (x - x[(period - 1) // 2 inputs back]).

    Output: a float. Warm-up: (period - 1) // 2 + period finite inputs. See docs/handbook/ZLEMA.md.
    """
    def __new__(cls, period: SupportsIndex = 30) -> ZLEMA:
        """A new ZLEMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the ZLEMA value, a float, or None before the first output. A NaN or infinite price is
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
        """How many finite inputs the first output takes: (period - 1) // 2 + period."""
    def __reduce__(self) -> tuple[type[ZLEMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ZLEMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ZLEMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class T3:
    """Tillson's T3: six chained EMAs combined with the volume factor.

    Output: a float. Warm-up: 6 * period - 5 finite inputs. See docs/handbook/T3.md.
    """
    def __new__(cls, period: SupportsIndex = 5, vfactor: _Real = 0.7) -> T3:
        """A new T3(period, vfactor); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the T3 value, a float, or None before the first output. A NaN or infinite price is
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
        """How many finite inputs the first output takes: 6 * period - 5."""
    def __reduce__(self) -> tuple[type[T3], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> T3:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> T3:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def vfactor(self) -> float:
        """The vfactor, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class TRIMA:
    """A simple average of a simple average: triangular weights over the last period inputs.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/TRIMA.md.
    """
    def __new__(cls, period: SupportsIndex = 30) -> TRIMA:
        """A new TRIMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the TRIMA value, a float, or None before the first output. A NaN or infinite price is
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
    def __reduce__(self) -> tuple[type[TRIMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> TRIMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> TRIMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class VWMA:
    """sum(close * volume) / sum(volume) over the last period candles; None while the window has no volume.

    Output: a float. Warm-up: period candles. See docs/handbook/VWMA.md.
    """
    def __new__(cls, period: SupportsIndex = 30) -> VWMA:
        """A new VWMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the VWMA value, a
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
        """True once the window is full, even while it has no volume."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period."""
    def __reduce__(self) -> tuple[type[VWMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> VWMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> VWMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class RMA:
    """Wilder's average: the mean of the first period inputs, then (x + avg * (period - 1)) / period.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/RMA.md.
    """
    def __new__(cls, period: SupportsIndex = 30) -> RMA:
        """A new RMA(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the RMA value, a float, or None before the first output. A NaN or infinite price is
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
    def __reduce__(self) -> tuple[type[RMA], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> RMA:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> RMA:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class Correlation:
    """Pearson correlation of a and b over the last period pairs, from running sums.

    Output: a float. Warm-up: period pairs. See docs/handbook/Correlation.md.
    """
    def __new__(cls, period: SupportsIndex = 30) -> Correlation:
        """A new Correlation(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, pair: Pair) -> float | None:
        """Feed one pair (a, b); returns the Correlation value, a float, or None where there is none. A pair with a NaN
        or an infinity is skipped: the last output is returned again.
        """
    def batch(self, a: FloatArray, b: FloatArray) -> FloatArray:
        """Feed the columns a, b (1-D contiguous float64 arrays of one length) row by row, as update would; returns an
        (n,) float64 array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many pairs the first output takes: period."""
    def __reduce__(self) -> tuple[type[Correlation], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Correlation:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Correlation:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class AccumulationDistribution:
    """Chaikin's A/D line: a running total of ((close - low) - (high - close)) / (high - low) * volume.

    Output: a float. Warm-up: 1 candle. See docs/handbook/AccumulationDistribution.md.
    """
    def __new__(cls) -> AccumulationDistribution:
        """A new AccumulationDistribution(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the
        AccumulationDistribution value, a float, or None before the first output. An invalid candle raises ValueError
        and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray) -> FloatArray:
        """Feed the columns high, low, close, volume (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle,
        keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[AccumulationDistribution], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> AccumulationDistribution:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> AccumulationDistribution:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class Beta:
    """Beta of b against a (the benchmark) over the last period returns, from running sums.

    Output: a float. Warm-up: period + 1 pairs. See docs/handbook/Beta.md.
    """
    def __new__(cls, period: SupportsIndex = 5) -> Beta:
        """A new Beta(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, pair: Pair) -> float | None:
        """Feed one pair (a, b); returns the Beta value, a float, or None where there is none. A pair with a NaN or an
        infinity is skipped: the last output is returned again.
        """
    def batch(self, a: FloatArray, b: FloatArray) -> FloatArray:
        """Feed the columns a, b (1-D contiguous float64 arrays of one length) row by row, as update would; returns an
        (n,) float64 array, NaN where update gives None.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many pairs the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[Beta], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Beta:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Beta:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class SessionVWAP:
    """VWAP restarted where floor((timestamp - offset) / session) changes.

    Output: a float. Warm-up: 1 candle. See docs/handbook/SessionVWAP.md.
    """
    def __new__(cls, session: SupportsIndex = 86400, offset: SupportsIndex = 0) -> SessionVWAP:
        """A new SessionVWAP(session, offset); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the SessionVWAP
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing. Reads
        the timestamp.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray, timestamp: Int64Array) -> FloatArray:
        """Feed the columns high, low, close, volume, timestamp (1-D contiguous arrays of one length, float64 and the
        timestamps int64) row by row, as update would; returns an (n,) float64 array, NaN where update gives None. Stops
        with ValueError at an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True while the current session has a value."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[SessionVWAP], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> SessionVWAP:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> SessionVWAP:
        """An independent object with this configuration and state."""
    @property
    def session(self) -> int:
        """The session, as given."""
    @property
    def offset(self) -> int:
        """The offset, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class Vortex:
    """VI+ and VI-: sum |high - previous low| and sum |low - previous high| over sum true range, period candles.

    Output: (plus, minus). Warm-up: period + 1 candles. See docs/handbook/Vortex.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> Vortex:
        """A new Vortex(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> tuple[float, float] | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (plus,
        minus), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns high, low, close (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n, 2) float64 array, columns plus, minus, NaN where update gives None. Stops with ValueError at an
        invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[Vortex], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Vortex:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Vortex:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> tuple[float, float] | None:
        """The last output, or None before the first."""

@final
class MassIndex:
    """The sum over sum_period candles of EMA(high - low) / EMA(EMA(high - low)), both EMAs of ema_period.

    Output: a float. Warm-up: 2 * ema_period - 1 + sum_period - 1 candles. See docs/handbook/MassIndex.md.
    """
    def __new__(cls, ema_period: SupportsIndex = 9, sum_period: SupportsIndex = 25) -> MassIndex:
        """A new MassIndex(ema_period, sum_period); a configuration it refuses raises ValueError (see its handbook
        page).
        """
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the MassIndex
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
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
        """How many candles the first output takes: 2 * ema_period - 1 + sum_period - 1."""
    def __reduce__(self) -> tuple[type[MassIndex], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> MassIndex:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> MassIndex:
        """An independent object with this configuration and state."""
    @property
    def ema_period(self) -> int:
        """The ema_period, as given."""
    @property
    def sum_period(self) -> int:
        """The sum_period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class ChaikinOscillator:
    """The fast EMA less the slow EMA of the accumulation/distribution line.

    Output: a float. Warm-up: slow candles. See docs/handbook/ChaikinOscillator.md.
    """
    def __new__(cls, fast: SupportsIndex = 3, slow: SupportsIndex = 10) -> ChaikinOscillator:
        """A new ChaikinOscillator(fast, slow); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the
        ChaikinOscillator value, a float, or None before the first output. An invalid candle raises ValueError and
        changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray) -> FloatArray:
        """Feed the columns high, low, close, volume (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle,
        keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: slow."""
    def __reduce__(self) -> tuple[type[ChaikinOscillator], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ChaikinOscillator:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ChaikinOscillator:
        """An independent object with this configuration and state."""
    @property
    def fast(self) -> int:
        """The fast, as given."""
    @property
    def slow(self) -> int:
        """The slow, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class ChaikinMoneyFlow:
    """sum(money flow volume) / sum(volume) over the last period candles; 0 while the window has no volume.

    Output: a float. Warm-up: period candles. See docs/handbook/ChaikinMoneyFlow.md.
    """
    def __new__(cls, period: SupportsIndex = 20) -> ChaikinMoneyFlow:
        """A new ChaikinMoneyFlow(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the
        ChaikinMoneyFlow value, a float, or None before the first output. An invalid candle raises ValueError and
        changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray, volume: FloatArray) -> FloatArray:
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
    def __reduce__(self) -> tuple[type[ChaikinMoneyFlow], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ChaikinMoneyFlow:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ChaikinMoneyFlow:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class ForceIndex:
    """Elder's force index: the EMA of (close - previous close) * volume.

    Output: a float. Warm-up: period + 1 candles. See docs/handbook/ForceIndex.md.
    """
    def __new__(cls, period: SupportsIndex = 13) -> ForceIndex:
        """A new ForceIndex(period); a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the ForceIndex
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
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
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[ForceIndex], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> ForceIndex:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> ForceIndex:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class EaseOfMovement:
    """Arms's ease of movement: the mean of the last period midpoint moves over their box ratios.

    Output: a float. Warm-up: period + 1 candles. See docs/handbook/EaseOfMovement.md.
    """
    def __new__(cls, period: SupportsIndex = 14, volume_divisor: _Real = 100000000.0) -> EaseOfMovement:
        """A new EaseOfMovement(period, volume_divisor); a configuration it refuses raises ValueError (see its handbook
        page).
        """
    def update(self, candle: Candle) -> float | None:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the EaseOfMovement
        value, a float, or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, high: FloatArray, low: FloatArray, volume: FloatArray) -> FloatArray:
        """Feed the columns high, low, volume (1-D contiguous float64 arrays of one length) row by row, as update would;
        returns an (n,) float64 array, NaN where update gives None. Stops with ValueError at an invalid candle, keeping
        the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: period + 1."""
    def __reduce__(self) -> tuple[type[EaseOfMovement], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> EaseOfMovement:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> EaseOfMovement:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def volume_divisor(self) -> float:
        """The volume_divisor, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class PVT:
    """Price-volume trend: a running total of ((close - previous close) / previous close) * volume.

    Output: a float. Warm-up: 1 candle. See docs/handbook/PVT.md.
    """
    def __new__(cls) -> PVT:
        """A new PVT(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the PVT value, a
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
    def __reduce__(self) -> tuple[type[PVT], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> PVT:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> PVT:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class NVI:
    """Negative volume index from 1000: follows the close's relative change on candles of falling volume.

    Output: a float. Warm-up: 1 candle. See docs/handbook/NVI.md.
    """
    def __new__(cls) -> NVI:
        """A new NVI(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the NVI value, a
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
    def __reduce__(self) -> tuple[type[NVI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> NVI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> NVI:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class PVI:
    """Positive volume index from 1000: follows the close's relative change on candles of rising volume.

    Output: a float. Warm-up: 1 candle. See docs/handbook/PVI.md.
    """
    def __new__(cls) -> PVI:
        """A new PVI(); it takes no parameters."""
    def update(self, candle: Candle) -> float:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the PVI value, a
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
    def __reduce__(self) -> tuple[type[PVI], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> PVI:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> PVI:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class HeikinAshi:
    """Heikin-ashi candles: close the mean of the four prices, open the midpoint of the last open and close.

    Output: (open, high, low, close). Warm-up: 1 candle. See docs/handbook/HeikinAshi.md.
    """
    def __new__(cls) -> HeikinAshi:
        """A new HeikinAshi(); it takes no parameters."""
    def update(self, candle: Candle) -> tuple[float, float, float, float]:
        """Feed one candle, a 6-tuple (open, high, low, close, volume, timestamp) or a dict; returns the tuple (open,
        high, low, close), or None before the first output. An invalid candle raises ValueError and changes nothing.
        """
    def batch(self, open: FloatArray, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns open, high, low, close (1-D contiguous float64 arrays of one length) row by row, as update
        would; returns an (n, 4) float64 array, columns open, high, low, close, NaN where update gives None. Stops with
        ValueError at an invalid candle, keeping the rows before it.
        """
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many candles the first output takes: 1."""
    def __reduce__(self) -> tuple[type[HeikinAshi], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> HeikinAshi:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> HeikinAshi:
        """An independent object with this configuration and state."""
    @property
    def value(self) -> tuple[float, float, float, float] | None:
        """The last output, or None before the first."""

@final
class StdDev:
    """The population standard deviation of the last period inputs, times nbdev.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/StdDev.md.
    """
    def __new__(cls, period: SupportsIndex = 5, nbdev: _Real = 1.0) -> StdDev:
        """A new StdDev; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the output or None before the first. A NaN or infinite price is skipped: the last output is returned again."""
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[StdDev], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> StdDev:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> StdDev:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def nbdev(self) -> float:
        """The nbdev, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class Variance:
    """The population variance of the last period inputs: the mean squared deviation from their mean.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/Variance.md.
    """
    def __new__(cls, period: SupportsIndex = 5) -> Variance:
        """A new Variance; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the output or None before the first. A NaN or infinite price is skipped: the last output is returned again."""
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[Variance], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> Variance:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> Variance:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class LinearRegression:
    """The least-squares line of the last period inputs: its newest value, slope, oldest value, angle and next value.

    Output: (value, slope, intercept, angle, forecast). Warm-up: period finite inputs. See docs/handbook/LinearRegression.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> LinearRegression:
        """A new LinearRegression; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> tuple[float, float, float, float, float] | None:
        """Feed one price; returns the output or None before the first. A NaN or infinite price is skipped: the last output is returned again."""
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[LinearRegression], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> LinearRegression:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> LinearRegression:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> tuple[float, float, float, float, float] | None:
        """The last output, or None before the first."""

@final
class MidPoint:
    """(highest + lowest) / 2 of the last period inputs.

    Output: a float. Warm-up: period finite inputs. See docs/handbook/MidPoint.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> MidPoint:
        """A new MidPoint; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, value: _Real) -> float | None:
        """Feed one price; returns the output or None before the first. A NaN or infinite price is skipped: the last output is returned again."""
    def batch(self, prices: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[MidPoint], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> MidPoint:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> MidPoint:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class MidPrice:
    """(highest high + lowest low) / 2 of the last period candles.

    Output: a float. Warm-up: period candles. See docs/handbook/MidPrice.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> MidPrice:
        """A new MidPrice; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle; returns the output or None before the first. An invalid candle raises ValueError and changes nothing."""
    def batch(self, high: FloatArray, low: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[MidPrice], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> MidPrice:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> MidPrice:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""

@final
class NATR:
    """The ATR in percent of the close, (atr / close) * 100; 0 for a close of 0.

    Output: a float. Warm-up: period candles. See docs/handbook/NATR.md.
    """
    def __new__(cls, period: SupportsIndex = 14) -> NATR:
        """A new NATR; a configuration it refuses raises ValueError (see its handbook page)."""
    def update(self, candle: Candle) -> float | None:
        """Feed one candle; returns the output or None before the first. An invalid candle raises ValueError and changes nothing."""
    def batch(self, high: FloatArray, low: FloatArray, close: FloatArray) -> FloatArray:
        """Feed the columns row by row, as update would; returns a float64 array, NaN where update gives None."""
    def reset(self) -> None:
        """Forget every input: the state of a new object of this configuration."""
    def is_ready(self) -> bool:
        """True once the warm-up is over, from the first output on."""
    def warmup_period(self) -> int:
        """How many inputs the first output takes: period."""
    def __reduce__(self) -> tuple[type[NATR], tuple[int | float, ...], bytes]:
        """For pickle: the class, its configuration and its saved state."""
    def __setstate__(self, state: bytes | bytearray, /) -> None:
        """Restore a state saved by __reduce__ (pickle)."""
    def __copy__(self) -> NATR:
        """An independent object with this configuration and state."""
    def __deepcopy__(self, memo: object, /) -> NATR:
        """An independent object with this configuration and state."""
    @property
    def period(self) -> int:
        """The period, as given."""
    @property
    def value(self) -> float | None:
        """The last output, or None before the first."""
