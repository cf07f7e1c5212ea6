"""kestov: technical-analysis indicators with streaming updates and NumPy batches."""

from kestov import _kestov
from kestov._kestov import *  # noqa: F401,F403
from kestov._kestov import __version__  # noqa: F401

__all__ = list(_kestov.__all__)
