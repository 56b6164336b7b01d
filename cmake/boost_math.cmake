# Boost.Math (header-only, Debian's libboost-math-dev) for the assessment's noncentral t
# distribution and root searches. Its headers are a private, build-time need of lvlim_api: the
# installed library and its headers do not depend on Boost.
#
# Under emscripten (the `wasm` preset) the host's /usr/include is outside the sysroot and must not
# be added wholesale (it would shadow the sysroot's C library): a directory in the build tree
# holds a link to the host's boost/ alone.
if(EMSCRIPTEN)
    find_path(LVLIM_BOOST_MATH_INCLUDE boost/math/distributions/non_central_t.hpp
              PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT LVLIM_BOOST_MATH_INCLUDE)
        message(FATAL_ERROR "Boost.Math headers not found: install libboost-math-dev "
                            "(tools/install-deps)")
    endif()
    set(lvlim_boost_dir ${PROJECT_BINARY_DIR}/boost-headers)
    file(MAKE_DIRECTORY ${lvlim_boost_dir})
    file(CREATE_LINK ${LVLIM_BOOST_MATH_INCLUDE}/boost ${lvlim_boost_dir}/boost SYMBOLIC)
    target_include_directories(lvlim_api SYSTEM PRIVATE $<BUILD_INTERFACE:${lvlim_boost_dir}>)
else()
    find_package(Boost 1.74 REQUIRED)
    target_include_directories(lvlim_api SYSTEM PRIVATE $<BUILD_INTERFACE:${Boost_INCLUDE_DIRS}>)
endif()
