"""Types for annotating code that calls kestov.

    from kestov.typing import Candle, CandleDict, FloatArray

`Candle` is what every candle class's `update` accepts: a 6-tuple
(open, high, low, close, volume, timestamp) or a dict with those keys, where
"timestamp" may be left out (it then reads as 0). `FloatArray` is what
`batch` takes and returns. Importing this module imports NumPy; importing
`kestov` does not.
"""

from typing import SupportsFloat, Tuple, TypedDict, Union

import numpy as np
import numpy.typing as npt

__all__ = ["Candle", "CandleDict", "CandleTuple", "FloatArray", "Int64Array", "Pair"]


class _CandleFields(TypedDict):
    open: float
    high: float
    low: float
    close: float
    volume: float


class CandleDict(_CandleFields, total=False):
    timestamp: int


CandleTuple = Tuple[float, float, float, float, float, int]
Candle = Union[CandleTuple, CandleDict]
FloatArray = npt.NDArray[np.float64]
# timestamps, as integers in the caller's unit
Int64Array = npt.NDArray[np.int64]
# one observation of two series, for the two-series statistics
Pair = Tuple[SupportsFloat, SupportsFloat]
