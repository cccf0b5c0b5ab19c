# Read by cpack for each package it makes (through CPACK_PROJECT_CONFIG_FILE, which also
# sets VNX_PACKAGE_BINARIES, VNX_OBJDUMP and VNX_GLIBC_FLOOR): the Debian package depends on
# the C library at the floor the shipped binaries are held to (cmake/glibc_floor.cmake), or
# at the newest version they ask for should that be newer, and on libgcc_s when they use it.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(newest ${VNX_GLIBC_FLOOR})
  set(libgcc "")
  foreach(binary IN LISTS VNX_PACKAGE_BINARIES)
    execute_process(COMMAND ${VNX_OBJDUMP} -T ${binary} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "cannot read the dynamic symbols of ${binary}")
    endif()
    if(symbols MATCHES "\\(GCC_[0-9.]+\\)")
      set(libgcc "libgcc-s1 | libgcc1, ")
    endif()
    string(REGEX MATCHALL "GLIBC_[0-9]+(\\.[0-9]+)+" versions "${symbols}")
    foreach(v IN LISTS versions)
      string(REPLACE "GLIBC_" "" v "${v}")
      if(v VERSION_GREATER newest)
        set(newest ${v})
      endif()
    endforeach()
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest}), ${libgcc}${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()
# The archive unpacks over / as the Debian package would install: no folder of its own.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
