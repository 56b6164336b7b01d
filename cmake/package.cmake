# The installed package of the library: the archives, the public header, the CMake package
# (lvlimConfig.cmake exporting lvlim::lvlim) and a pkg-config file. The library is static; the
# engine's archives it needs are installed and exported beside it, as link-only dependencies.
include(CMakePackageConfigHelpers)

set(LVLIM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lvlim)

install(TARGETS lvlim_api mainguts lvlim_io EXPORT lvlimTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/lvlim/lvlim.hpp include/lvlim/assessment.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lvlim)
install(EXPORT lvlimTargets NAMESPACE lvlim:: DESTINATION ${LVLIM_CMAKE_DIR})

configure_package_config_file(cmake/lvlimConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/lvlimConfig.cmake
                              INSTALL_DESTINATION ${LVLIM_CMAKE_DIR})
# 0.x: a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lvlimConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lvlimConfig.cmake ${PROJECT_BINARY_DIR}/lvlimConfigVersion.cmake
        DESTINATION ${LVLIM_CMAKE_DIR})

# The .pc file finds its prefix from where it lies, so the installed tree can be moved.
file(RELATIVE_PATH LVLIM_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" LVLIM_PC_TO_PREFIX "${LVLIM_PC_TO_PREFIX}")
configure_file(cmake/lvlim.pc.in ${PROJECT_BINARY_DIR}/lvlim.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lvlim.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
