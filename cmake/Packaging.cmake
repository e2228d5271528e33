# Debian packages through CPack (`./dev package`): libsqda0 (the plug-in),
# libsqda-dev (headers, CMake package, pkg-config file, documentation) and
# kalmora-host (the reference host). Library dependencies come from
# dpkg-shlibdeps; the plug-in gets a shlibs file and the ldconfig trigger.
option(SQDA_DEBIAN_FILES "Install each Debian package's copyright and changelog (./dev package sets it)" OFF)

set(SQDA_DEB_SOURCE kalmora-sqda)
set(SQDA_DEB_VERSION ${PROJECT_VERSION}-1)

set(SQDA_DEB_COMPONENTS Runtime Development)
set(SQDA_DEB_PACKAGES libsqda${SQDA_SOVERSION} libsqda-dev)
if(SQDA_BUILD_HOST)
  list(APPEND SQDA_DEB_COMPONENTS Host)
  list(APPEND SQDA_DEB_PACKAGES kalmora-host)
endif()

if(SQDA_DEBIAN_FILES)
  # Debian wants /usr/share/doc/<package>/copyright and changelog.Debian.gz in every package.
  configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
    COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/packaging/changelog.Debian > ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian VERBATIM)
  add_custom_target(sqda_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
  foreach(component package IN ZIP_LISTS SQDA_DEB_COMPONENTS SQDA_DEB_PACKAGES)
    install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${SQDA_DEB_SOURCE})
set(CPACK_PACKAGE_VENDOR Kalmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kalmora IT <it@kalmora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${SQDA_DEB_COMPONENTS})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${SQDA_DEB_SOURCE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
# dpkg-shlibdeps must find the plug-in's own shlibs when it looks at programs beside it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
set(SQDA_DEB_EXACT "(= ${SQDA_DEB_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libsqda${SQDA_SOVERSION})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS fonts-noto-cjk)
# The linker cache through dpkg's ldconfig trigger; the scripts stand in for
# CPack's own, which would call ldconfig directly.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/libsqda0/triggers ${PROJECT_SOURCE_DIR}/packaging/libsqda0/postinst
  ${PROJECT_SOURCE_DIR}/packaging/libsqda0/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "trade-area screens plug-in for the Kalmora retail host
libsqda is the plug-in a Kalmora management host loads to maintain and query
a retail chain's trade areas (商圈) per department: a maintenance screen (the
areas as a tree) and a query screen (listing, condition builder, filter, sort,
print preview and printing). All data goes through the host's data-service
interface; the library owns no database.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libsqda-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libsqda${SQDA_SOVERSION} ${SQDA_DEB_EXACT}, qt6-base-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "trade-area screens plug-in for the Kalmora retail host - development files
The headers a host program builds against (the data-service interface
ICoorDisp, the counted reference ComPtr, the host messages and the entry-point
signatures), a CMake package (find_package(sqda)), a pkg-config file, and the
documentation for host authors, the data-packet format among it.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME kalmora-host)
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "libsqda${SQDA_SOVERSION} ${SQDA_DEB_EXACT}, libqt6sql6-sqlite")
set(CPACK_DEBIAN_HOST_PACKAGE_RECOMMENDS "libqt6sql6-psql, fonts-noto-cjk")
set(CPACK_COMPONENT_HOST_DESCRIPTION "reference host of the Kalmora trade-area screens
kalmora-host loads libsqda and shows its maintenance and query screens in
tabs of one window, serving their data from an SQLite file (created with a
demonstration chain) or a PostgreSQL database.")

include(CPack)
