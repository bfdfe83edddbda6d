# Installs the libraries and headers and exports a CMake package, so that a host can
# find_package(arvelle) and link arvelle::arvelle (which brings arvelle::fenmo), and the scripting host
# arvelle::plexo with the framework's scripting layer arvelle::qorin.
include(CMakePackageConfigHelpers)

install(TARGETS fenmo plexo qorin arvelle EXPORT arvelleTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/fenmo/include/ ${PROJECT_SOURCE_DIR}/plexo/include/
                  ${PROJECT_SOURCE_DIR}/qorin/include/ ${PROJECT_SOURCE_DIR}/arvelle/include/
                  ${ARVELLE_GENERATED}/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT arvelleTargets NAMESPACE arvelle:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arvelle)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/arvelleConfig.cmake.in
  ${PROJECT_BINARY_DIR}/arvelleConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arvelle)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/arvelleConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/arvelleConfig.cmake ${PROJECT_BINARY_DIR}/arvelleConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arvelle)
