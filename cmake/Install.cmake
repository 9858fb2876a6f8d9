# cmake --install: headers, TarnKit.dll with the GCC runtime beside it, the import
# library and a CMake package (find_package(TarnKit CONFIG)).
include(CMakePackageConfigHelpers)

install(TARGETS TarnKit EXPORT TarnKitTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/tarn_kit DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${TARNKIT_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

set(TARNKIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarnKit)
install(EXPORT TarnKitTargets NAMESPACE TarnKit:: DESTINATION ${TARNKIT_CMAKE_DIR})

set(TARNKIT_RUNTIME_DLL_NAMES)
foreach(_dll IN LISTS TARNKIT_RUNTIME_DLLS)
  get_filename_component(_name ${_dll} NAME)
  list(APPEND TARNKIT_RUNTIME_DLL_NAMES ${_name})
endforeach()
configure_package_config_file(cmake/TarnKitConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TarnKitConfig.cmake
  INSTALL_DESTINATION ${TARNKIT_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TarnKitConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TarnKitConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TarnKitConfigVersion.cmake
        DESTINATION ${TARNKIT_CMAKE_DIR})
