# The pages run as doctests (scripts/check_python_surface.sh); the pandas page
# only where pandas is installed, as the rest of kestov does not need it.
import importlib.util

collect_ignore = [] if importlib.util.find_spec("pandas") else ["pandas.md"]
