"""Paths of the programs the package is compared with, given by ctest."""

import os
import pathlib

import pytest


def _program(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set (the tests run under ctest)")
    return path


@pytest.fixture(scope="session")
def lvlim_exe():
    return _program("LVLIM_EXE")


@pytest.fixture(scope="session")
def lvlim_data_exe():
    return _program("LVLIM_DATA_EXE")


@pytest.fixture(scope="session")
def concentrations():
    root = os.environ.get("LVLIM_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2])
    return pathlib.Path(root) / "examples" / "concentrations.txt"
