# Installs the build into a scratch prefix, then builds the consumer project against it twice,
# with find_package(lvlim CONFIG) and with pkg-config, and checks what both print against the
# limits lvlim prints for the same record.
# CXX_FLAGS and LINKER_FLAGS are the build's own (the sanitizers' runtime, say), which a program
# linking its archives needs too.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/check_helpers.cmake)
require_variables(BUILD_DIR PREFIX SOURCE_DIR LVLIM_EXE CXX)

file(REMOVE_RECURSE ${PREFIX})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}/usr)

# What the program prints for the record: "LowerConfidenceLimit=   3.22587637+".
run(${LVLIM_EXE} INPUT_FILE ${SOURCE_DIR}/examples/lognormal-mean.txt)
string(REGEX MATCH "LowerConfidenceLimit= +([^+]+)\\+" _ "${out}")
set(lower ${CMAKE_MATCH_1})
string(REGEX MATCH "UpperConfidenceLimit= +([^+]+)\\+" _ "${out}")
set(upper ${CMAKE_MATCH_1})
if(lower STREQUAL "" OR upper STREQUAL "")
    message(FATAL_ERROR "no limits in lvlim's output:\n${out}")
endif()
set(expected "${lower} ${upper} ok\n")

# find_package(lvlim CONFIG REQUIRED)
set(build ${PREFIX}/consumer-build)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${build} -G Ninja
    -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" -DCMAKE_PREFIX_PATH=${PREFIX}/usr -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${build})
run(${build}/consumer)
if(NOT out STREQUAL expected)
    message(FATAL_ERROR "find_package consumer printed '${out}', lvlim gives '${expected}'")
endif()

# pkg-config --cflags --libs lvlim
find_program(PKG_CONFIG pkg-config REQUIRED)
file(GLOB pc_dirs ${PREFIX}/usr/lib*/pkgconfig ${PREFIX}/usr/lib/*/pkgconfig)
list(JOIN pc_dirs ":" pc_path)
set(ENV{PKG_CONFIG_PATH} "${pc_path}")
run(${PKG_CONFIG} --cflags --libs lvlim)
separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS} ${out}")
run(${CXX} -std=c++20 ${SOURCE_DIR}/tests/consumer/main.cpp ${flags} -o ${PREFIX}/pc-consumer)
run(${PREFIX}/pc-consumer)
if(NOT out STREQUAL expected)
    message(FATAL_ERROR "pkg-config consumer printed '${out}', lvlim gives '${expected}'")
endif()
