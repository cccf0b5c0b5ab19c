# Read by cpack for each package it makes (through CPACK_PROJECT_CONFIG_FILE, which also
# sets VNX_PACKAGE_BINARIES and VNX_OBJDUMP): the Debian package depends on the C library
# version that the shipped binaries ask for.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(newest 0)
  foreach(binary IN LISTS VNX_PACKAGE_BINARIES)
    execute_process(COMMAND ${VNX_OBJDUMP} -T ${binary} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "cannot read the dynamic symbols of ${binary}")
    endif()
    string(REGEX MATCHALL "GLIBC_[0-9]+(\\.[0-9]+)+" versions "${symbols}")
    foreach(v IN LISTS versions)
      string(REPLACE "GLIBC_" "" v "${v}")
      if(v VERSION_GREATER newest)
        set(newest ${v})
      endif()
    endforeach()
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest}), ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()
# The archive unpacks over / as the Debian package would install: no folder of its own.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
