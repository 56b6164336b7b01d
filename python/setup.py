"""The compiled module lvlim._lvlim: the binding and the library's sources from the project
around this directory, built with the flags the CMake build uses for the engine."""

from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

here = Path(__file__).resolve().parent
root = here.parent
sources = ([str(here / "src" / "module.cpp"), str(here / "src" / "assessment.cpp")]
           + sorted(str(p) for p in (root / "src").glob("*.cpp"))
           + sorted(str(p) for p in (root / "Guts").glob("*.cpp"))
           + [str(root / "driver" / "list_output.cpp"), str(root / "driver" / "free_form_input.cpp")])
# Relative to this directory, as setuptools wants them.
sources = [str(Path(s).relative_to(here)) if Path(s).is_relative_to(here) else
           str(Path("..") / Path(s).relative_to(root)) for s in sources]

extension = Pybind11Extension(
    "lvlim._lvlim",
    sources,
    include_dirs=[str(root), str(root / "include")],
    cxx_std=20,
    # No fused multiply-add: the published recurrences keep their last digits, as in CMake.
    extra_compile_args=["-ffp-contract=off", "-O2"],
)

# The engine's units compile in parallel, on every core unless LVLIM_BUILD_JOBS says otherwise.
ParallelCompile("LVLIM_BUILD_JOBS").install()

setup(ext_modules=[extension], cmdclass={"build_ext": build_ext})
