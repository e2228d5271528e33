# Install rules (GNUInstallDirs): the plug-in with its SONAME in lib/<multiarch>,
# the host-facing headers with a CMake package and a pkg-config file, the
# documentation, and the reference host with its desktop entry, icon and manual
# page. Components: Runtime (the plug-in), Development (headers, package files,
# the unversioned link, the documentation), Host (the reference host).
include(CMakePackageConfigHelpers)

set(SQDA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sqda)

set_target_properties(sqda PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${SQDA_SOVERSION} EXPORT_NAME plugin)
set_target_properties(sqda_public PROPERTIES EXPORT_NAME headers)

install(TARGETS sqda EXPORT sqdaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
install(TARGETS sqda_public EXPORT sqdaTargets)
install(DIRECTORY include/sqda DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.h")
install(EXPORT sqdaTargets NAMESPACE sqda:: DESTINATION ${SQDA_CMAKE_DIR} COMPONENT Development)

configure_package_config_file(cmake/sqdaConfig.cmake.in ${PROJECT_BINARY_DIR}/sqdaConfig.cmake
  INSTALL_DESTINATION ${SQDA_CMAKE_DIR} PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sqdaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sqdaConfig.cmake ${PROJECT_BINARY_DIR}/sqdaConfigVersion.cmake
  DESTINATION ${SQDA_CMAKE_DIR} COMPONENT Development)

configure_file(packaging/sqda.pc.in ${PROJECT_BINARY_DIR}/sqda.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sqda.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# For host authors: every page of docs/ (the packet format among them) with its pictures.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/sqda COMPONENT Development
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

if(SQDA_BUILD_HOST)
  install(TARGETS kalmora-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Host)
  install(FILES packaging/kalmora-host.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Host)
  install(FILES packaging/kalmora-host.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT Host)
  # Manual pages are installed compressed (gzip -n: no time stamp, the same bytes every build).
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/kalmora-host.1.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/kalmora-host.1 > ${PROJECT_BINARY_DIR}/kalmora-host.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/kalmora-host.1 VERBATIM)
  add_custom_target(kalmora_host_manpage ALL DEPENDS ${PROJECT_BINARY_DIR}/kalmora-host.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/kalmora-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Host)
endif()
