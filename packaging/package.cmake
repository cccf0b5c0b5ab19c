# The installable package of the i386 tree: the two driver libraries, vnxsql, the driver
# registration samples, the user's guide with its example program and vnxsql's manual
# page, as a Debian package and as a plain .tar.gz of the same files
# (cmake --build build/i386 --target package).
# Included from the top-level list after the targets it installs.

set(VNX_PACKAGE_NAME dbexpvnx)
set(VNX_PACKAGE_DOCDIR share/doc/${VNX_PACKAGE_NAME})
set(VNX_PACKAGE_MAINTAINER "Vornex dbExpress maintainers <maintainers@vornex.example>"
  CACHE STRING "Maintainer named in the Debian package")

# One version for the driver's banner and the package.
file(STRINGS ${CMAKE_SOURCE_DIR}/driver/sql_driver.h version_line REGEX "kDriverVersion\\[\\] = ")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" VNX_PACKAGE_VERSION "${version_line}")
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^${VNX_PACKAGE_NAME} \\(${VNX_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog must start with an entry for version ${VNX_PACKAGE_VERSION}")
endif()

# Debian wants manual pages and changelogs compressed to the maximum, without a time stamp.
find_program(VNX_GZIP gzip REQUIRED)
set(VNX_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
set(compressed)
foreach(pair "${CMAKE_SOURCE_DIR}/tools/vnxsql/vnxsql.1=vnxsql.1.gz"
             "${CMAKE_CURRENT_LIST_DIR}/changelog=changelog.gz")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(OUTPUT ${VNX_PACKAGE_STAGE}/${to}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VNX_PACKAGE_STAGE}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${VNX_GZIP} ${from} ${VNX_PACKAGE_STAGE}/${to}
    DEPENDS ${from}
    VERBATIM)
  list(APPEND compressed ${VNX_PACKAGE_STAGE}/${to})
endforeach()
add_custom_target(vnx_package_files ALL DEPENDS ${compressed})

# Plain copies rather than install(TARGETS): the libraries must reach the package byte for
# byte as built and tested, catalogue block included, with nothing rewritten on the way.
install(FILES $<TARGET_FILE:dbexpvnx> $<TARGET_FILE:dbexpvnx-ml> DESTINATION ${VNX_INSTALL_LIBDIR})
install(PROGRAMS $<TARGET_FILE:vnxsql> DESTINATION ${VNX_INSTALL_BINDIR})
install(FILES ${VNX_PACKAGE_STAGE}/vnxsql.1.gz DESTINATION share/man/man1)
# The user's guide is the package's documentation; the README is for those who build.
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md ${CMAKE_CURRENT_LIST_DIR}/copyright
              ${VNX_PACKAGE_STAGE}/changelog.gz
        DESTINATION ${VNX_PACKAGE_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION share/lintian/overrides
        RENAME ${VNX_PACKAGE_NAME})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/examples/dbxdrivers.ini ${CMAKE_CURRENT_LIST_DIR}/examples/dbxconnections.ini
              ${CMAKE_SOURCE_DIR}/examples/connect_and_query.c
        DESTINATION ${VNX_PACKAGE_DOCDIR}/examples)

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME ${VNX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${VNX_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR Vornex)
set(CPACK_PACKAGE_CONTACT ${VNX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_FILE_NAME ${VNX_PACKAGE_NAME}_${VNX_PACKAGE_VERSION}_i386)
set(VNX_PACKAGE_DEB ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.deb)
set(CPACK_STRIP_FILES OFF)  # stripped at the link already; another strip would drop the catalogues
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dbExpress driver for PostgreSQL (32-bit)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A driver library that dbExpress applications load by name to work with a
PostgreSQL server. It opens the PostgreSQL client library, libpq, at run time.

libdbexpvnx.so keeps its messages in English; libdbexpvnx-ml.so translates
them through message catalogues carried in the library file. The package also
holds vnxsql, an SQL shell that uses the driver as an application does, and
sample driver and connection registrations.")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VNX_PACKAGE_MAINTAINER})
# The driver opens libpq by name, so the link does not show it: it is declared here. The
# C library and libgcc_s are added when the package is made (cpack_config.cmake).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpq5")
# The libraries are loaded by name, never linked against: no shlibs entry, but the loader's
# cache must learn of them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)
set(VNX_PACKAGE_BINARIES $<TARGET_FILE:dbexpvnx> $<TARGET_FILE:dbexpvnx-ml> $<TARGET_FILE:vnxsql>)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake
  CONTENT "set(VNX_PACKAGE_BINARIES \"${VNX_PACKAGE_BINARIES}\")
set(VNX_OBJDUMP \"${CMAKE_OBJDUMP}\")
set(VNX_GLIBC_FLOOR \"${VNX_GLIBC_FLOOR}\")
include(\"${CMAKE_CURRENT_LIST_DIR}/cpack_config.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
include(CPack)
