"""kestov: technical-analysis indicators with streaming updates and NumPy batches."""

from kestov import _kestov, _more
from kestov._kestov import *  # noqa: F401,F403
from kestov._kestov import __version__  # noqa: F401
from kestov._more import *  # noqa: F401,F403

# The first 25 classes, then those added since, each in registration order.
__all__ = list(_kestov.__all__) + [name for name in _more.__all__ if name != "__version__"]
