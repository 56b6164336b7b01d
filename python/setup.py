"""The compiled module lvlim._lvlim: the binding and the library's sources, built with the flags
the CMake build uses for the engine.

The library's sources are found, not listed: from the binding, the public API (src/*.cpp) and the
engine (Guts/*.cpp), every header they include from the project, and the .cpp beside each such
header, transitively. In the project tree they are read from the directory above this one; a
source distribution carries them in _vendor/, so that it builds from the tarball alone.
Intermediate files go to a temporary directory: a build leaves nothing in the tree."""

import atexit
import os
import re
import shutil
import tempfile
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup
from setuptools.command.sdist import sdist

here = Path(__file__).resolve().parent
vendored = here / "_vendor"
root = vendored if vendored.is_dir() else here.parent
include_dirs = [root, root / "include"]
_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def library_files():
    """The sources to compile and the headers they need, as paths relative to `root`."""
    starts = (sorted((here / "src").glob("*.cpp")) + sorted((root / "src").glob("*.cpp"))
              + sorted((root / "Guts").glob("*.cpp")))
    seen, sources, pending = set(), [], list(starts)
    while pending:
        path = pending.pop()
        if path in seen:
            continue
        seen.add(path)
        if path.suffix == ".cpp":
            sources.append(path)
        for name in _INCLUDE.findall(path.read_text(encoding="utf-8")):
            for base in [path.parent] + include_dirs:
                header = (base / name).resolve()
                if header.is_file():
                    pending.append(header)
                    companion = header.with_suffix(".cpp")
                    if companion.is_file() and header.is_relative_to(root):
                        pending.append(companion)
                    break
    project = sorted(p.relative_to(root) for p in seen
                     if p.is_relative_to(root) and not p.is_relative_to(here))
    return sorted(sources), project


def _relative(path):
    """A path as setuptools wants it: relative to this directory."""
    return os.path.relpath(path, here)


class VendoredSdist(sdist):
    """The source distribution with the library's sources in _vendor/."""

    def make_release_tree(self, base_dir, files):
        # setuptools lists the extension's sources among the files, the library's as ../Guts/...,
        # which it would copy beside base_dir, into this directory: they go to _vendor/ alone.
        files = [f for f in files if not os.path.normpath(f).startswith(os.pardir + os.sep)]
        super().make_release_tree(base_dir, files)
        for name in library_files()[1]:
            target = Path(base_dir) / "_vendor" / name
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(root / name, target)


scratch = tempfile.mkdtemp(prefix="lvlim-build-")
atexit.register(shutil.rmtree, scratch, ignore_errors=True)

extension = Pybind11Extension(
    "lvlim._lvlim",
    [_relative(p) for p in library_files()[0]],
    include_dirs=[str(d) for d in include_dirs],
    cxx_std=20,
    # No fused multiply-add: the published recurrences keep their last digits, as in CMake.
    extra_compile_args=["-ffp-contract=off", "-O2"],
)

# The engine's units compile in parallel, on every core unless LVLIM_BUILD_JOBS says otherwise.
ParallelCompile("LVLIM_BUILD_JOBS").install()

setup(ext_modules=[extension], cmdclass={"build_ext": build_ext, "sdist": VendoredSdist},
      options={"build": {"build_base": str(Path(scratch) / "build")},
               "egg_info": {"egg_base": scratch}})
