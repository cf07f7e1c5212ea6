"""The handbook (docs/handbook/) against the module: a page and an index entry for every class, each page naming its
constructor and output columns as the module has them and a warm-up that holds, and the generated parts as
tools/make_handbook.py writes them now."""

import math
import re
import runpy
from pathlib import Path

import pytest

import kestov
from classes import CASES, by_class
from kestov.columns import column_names
from test_docs import configurations

ROOT = Path(__file__).resolve().parents[1]
HANDBOOK = ROOT / "docs" / "handbook"
NAMES = [name for name in kestov.__all__ if name != "__version__"]


@pytest.fixture(scope="module")
def tool():
    return runpy.run_path(str(ROOT / "tools" / "make_handbook.py"))


def test_every_class_has_a_page_and_an_index_entry():
    pages = {page.stem for page in HANDBOOK.glob("*.md")} - {"README"}
    index = re.findall(r"^- \[(\w+)\]\((\w+)\.md\)", (HANDBOOK / "README.md").read_text(), re.M)
    assert pages == set(NAMES)
    assert sorted(name for name, target in index if name == target) == sorted(NAMES)


@by_class(CASES)
def test_page_names_the_surface_and_a_warm_up_that_holds(case):
    text = (HANDBOOK / f"{case.name}.md").read_text()
    assert f"`{case.name}{case.cls.__text_signature__}`" in text
    assert all(f"`{column}`" in text for column in column_names(case.name, case.width) if case.width)
    formula = re.search(r"`warmup_period\(\)` is `([^`]+)`", text).group(1)
    for config in configurations(case.cls):
        expected = eval(formula, {"__builtins__": {}, "max": max, "round": round, "sqrt": math.sqrt}, config)
        assert case.cls(**config).warmup_period() == expected, (formula, config)


def test_generated_parts_are_as_the_tool_writes_them(tool):
    """Surface blocks, the index, the lists and the nav; the measured blocks are left as they are here."""
    files, _ = tool["expected"](tool["sample"]()[0], None, None)
    assert [path.name for path, text in files.items() if path.read_text() != text] == []


def test_measured_blocks_are_as_measured_now(tool):
    talib = pytest.importorskip("talib")
    indicators = pytest.importorskip("talipp.indicators")
    files, _ = tool["expected"](tool["sample"]()[0], talib, indicators)
    assert [path.name for path, text in files.items() if path.read_text() != text] == []
