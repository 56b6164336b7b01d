# Installs the build into a scratch prefix and checks that the programs and their manual pages land.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/lvlim share/man/man1/lvlim.1 bin/lvlim-table share/man/man1/lvlim-table.1
             bin/lvlim-data share/man/man1/lvlim-data.1 bin/lvlim-plan share/man/man1/lvlim-plan.1)
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
