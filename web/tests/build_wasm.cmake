# Builds the page with emscripten into its own binary directory:
# cmake -DSOURCE=<project> -DBINARY=<dir> -DEMCMAKE=<emcmake> -P build_wasm.cmake
foreach(step IN ITEMS configure build)
    if(step STREQUAL "configure")
        set(command ${EMCMAKE} ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G Ninja
                    -DCMAKE_BUILD_TYPE=Release -DLVLIM_BUILD_TESTS=OFF -DLVLIM_WERROR=ON)
    else()
        set(command ${CMAKE_COMMAND} --build ${BINARY})
    endif()
    execute_process(COMMAND ${command} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the WebAssembly build failed at its ${step} step (status ${status})")
    endif()
endforeach()
