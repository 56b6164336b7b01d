# The package as users install it, offline, with Debian's build tools: a source distribution
# built from a copy of the project's tree, then installed from that tarball alone (the copy is
# gone by then) into a fresh virtual environment that sees the system's packages. Neither the
# source distribution's build nor the install may leave build/ or lvlim.egg-info/ in the tree
# it was built from. Then the doctests and the pytest suite against the
# installed package.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/check_helpers.cmake)
require_variables(SOURCE_DIR WORK PYTHON)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/tree)
file(GLOB top_dirs LIST_DIRECTORIES true ${SOURCE_DIR}/*)
foreach(dir ${top_dirs})
    get_filename_component(name ${dir} NAME)
    # The project's own sources; not the build trees, the tests' data or the other doors.
    if(IS_DIRECTORY ${dir} AND NOT name MATCHES "^(build.*|tests|web|r|bench|fuzz|docs|examples|tools|cmake|apps|\\..*)$")
        file(COPY ${dir} DESTINATION ${WORK}/tree PATTERN build EXCLUDE
             PATTERN *.egg-info EXCLUDE PATTERN __pycache__ EXCLUDE)
    endif()
endforeach()
file(GLOB_RECURSE tree_before LIST_DIRECTORIES true RELATIVE ${WORK}/tree ${WORK}/tree/*)
run(${PYTHON} -m build --sdist --no-isolation --outdir ${WORK}/dist ${WORK}/tree/python)
foreach(litter build lvlim.egg-info)
    if(EXISTS ${WORK}/tree/python/${litter})
        message(FATAL_ERROR "building the source distribution left ${litter} in the source tree")
    endif()
endforeach()
file(GLOB_RECURSE tree_after LIST_DIRECTORIES true RELATIVE ${WORK}/tree ${WORK}/tree/*)
if(NOT tree_after STREQUAL tree_before)
    list(REMOVE_ITEM tree_after ${tree_before})
    message(FATAL_ERROR "building the source distribution left files in the source tree: "
                        "${tree_after}")
endif()
file(REMOVE_RECURSE ${WORK}/tree)
file(GLOB tarball ${WORK}/dist/lvlim-*.tar.gz)
run(${CMAKE_COMMAND} -E tar xzf ${tarball} WORKING_DIRECTORY ${WORK}/dist)
file(GLOB unpacked LIST_DIRECTORIES true ${WORK}/dist/lvlim-*/)
list(FILTER unpacked EXCLUDE REGEX "\\.tar\\.gz$")
run(${PYTHON} -m venv --system-site-packages ${WORK}/venv)
run(${WORK}/venv/bin/python -m pip install --no-build-isolation --no-index --no-deps ${unpacked})
foreach(litter build lvlim.egg-info)
    if(EXISTS ${unpacked}/${litter})
        message(FATAL_ERROR "the build left ${litter} in the tree it was built from")
    endif()
endforeach()
# Nothing of the build directory or the source tree is on the path.
set(ENV{PYTHONPATH} "")
run(${WORK}/venv/bin/python -c
    "import doctest, sys, lvlim; sys.exit(not lvlim.__file__.startswith('${WORK}/venv') or doctest.testmod(lvlim).failed)"
    WORKING_DIRECTORY ${WORK})
run(${WORK}/venv/bin/python -m pytest -q -p no:cacheprovider ${SOURCE_DIR}/python/tests
    WORKING_DIRECTORY ${WORK})
