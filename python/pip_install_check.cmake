# pip install --no-build-isolation of the package, offline, into a fresh virtual environment that
# sees the system's packages (Debian's setuptools, wheel, pybind11, numpy); then the pytest suite
# against the installed package. The sources are copied first, so that the in-tree build writes
# nothing into the source tree.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/check_helpers.cmake)
require_variables(SOURCE_DIR WORK PYTHON)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/tree)
foreach(dir python common Guts src include)
    file(COPY ${SOURCE_DIR}/${dir} DESTINATION ${WORK}/tree PATTERN build EXCLUDE
         PATTERN *.egg-info EXCLUDE PATTERN __pycache__ EXCLUDE)
endforeach()
run(${PYTHON} -m venv --system-site-packages ${WORK}/venv)
run(${WORK}/venv/bin/python -m pip install --no-build-isolation --no-index --no-deps
    ${WORK}/tree/python)
# The suite imports the installed package: nothing of the build directory is on the path.
set(ENV{PYTHONPATH} "")
run(${WORK}/venv/bin/python -m pytest -q -p no:cacheprovider ${SOURCE_DIR}/python/tests
    WORKING_DIRECTORY ${WORK})
run(${WORK}/venv/bin/python -c
    "import lvlim, sys; sys.exit(not lvlim.__file__.startswith('${WORK}/venv'))")
