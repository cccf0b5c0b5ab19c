# The shipped i386 binaries (both libraries and vnxsql) load on every Linux whose C library
# is glibc 2.17 or newer. They are compiled against Debian 11's i386 C library (2.31) and
# linked against it; there every symbol they take has a version of 2.17 or older, where
# today's C library would bind many of them to the versions it added since (dlopen and the
# pthread functions 2.34, stat 2.33, ...). The compiler and its C++ runtime stay today's,
# linked in statically as before; what that runtime takes from a newer C library is kept
# out (glibc_floor.c), and exceptions unwind through the system's libgcc_s, as the static
# unwinder would need _dl_find_object (2.35). tests/CMakeLists.txt checks the result.
# Included from the top-level list for the i386 tree.

set(VNX_GLIBC_FLOOR 2.17)
# From libgcc_s they take the unwinder alone, whose entry points date from gcc 4.2; 4.8 is
# the gcc of the oldest distribution with glibc 2.17 (RHEL 7).
set(VNX_LIBGCC_FLOOR 4.8.0)
set(VNX_GLIBC_ROOT "${CMAKE_SOURCE_DIR}/build/bullseye-i386" CACHE PATH
  "Debian 11's i386 C library that the shipped binaries are built against (scripts/bullseye-root.sh fetches it)")
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/bullseye-root.sh ${VNX_GLIBC_ROOT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Debian 11's i386 C library could not be made ready in ${VNX_GLIBC_ROOT}")
endif()

# Every object of the tree sees the old C library's headers, so that the objects the tests
# link are those that ship; only the shipped binaries are linked against it, the tests and
# tools against the system's.
add_compile_options(--sysroot=${VNX_GLIBC_ROOT})
add_library(vnx_glibc_floor OBJECT ${CMAKE_CURRENT_LIST_DIR}/glibc_floor.c)

function(vnx_portable_link target)
  set(root ${VNX_GLIBC_ROOT})
  # -B for its start files, -L ahead of the system's folders for its libraries.
  # The static runtime's members bring whole families of functions of which the binaries
  # call few; the linker drops the rest (a sixth of the multi-language library).
  target_link_options(${target} PRIVATE --sysroot=${root} -B${root}/usr/lib/
    -L${root}/lib/${CMAKE_LIBRARY_ARCHITECTURE} -L${root}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}
    -static-libstdc++ -Wl,--gc-sections)
  # Before 2.34 the thread functions live in libpthread. The runtime's arithmetic helpers
  # come from the static libgcc, read before the compiler driver names libgcc_s, which
  # would otherwise lend the helpers of its own newer versions (__divmoddi4 is GCC_7.0.0):
  # from libgcc_s the binaries take the unwinder alone.
  target_link_libraries(${target} PRIVATE vnx_glibc_floor pthread -l:libstdc++.a -l:libgcc.a)
endfunction()
