# Shared by the check scripts that ctest runs with `cmake -P`.

# Stops with an error naming each variable of ARGN that the caller did not set with -D.
function(require_variables)
    foreach(var ${ARGN})
        if(NOT DEFINED ${var})
            message(FATAL_ERROR "${var} is not set")
        endif()
    endforeach()
endfunction()

# Runs the command ARGN; stops with its status and output when it fails, and otherwise leaves
# its standard output in `out` in the caller's scope.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()
