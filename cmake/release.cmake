# Shipped binaries leave the build stripped, with their debug information in a separate
# .debug file (cmake/split_debug.cmake). Sanitizer trees keep it in place for their reports.
if(VNX_SANITIZE OR VNX_SANITIZE_THREAD)
  set(vnx_split_default OFF)
else()
  set(vnx_split_default ON)
endif()
option(VNX_SPLIT_DEBUG "Strip the shipped binaries, keeping their debug information beside them" ${vnx_split_default})
set(VNX_DEBUG_DIR ${CMAKE_BINARY_DIR}/debug)

# Must be called before any other step after the link of the target (see split_debug.cmake).
function(vnx_release_binary target)
  if(NOT VNX_SPLIT_DEBUG)
    return()
  endif()
  # Bound at load time, relocations read-only after it: what Debian asks of its binaries.
  target_link_options(${target} PRIVATE -Wl,--build-id -Wl,-z,relro -Wl,-z,now)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DOBJCOPY=${CMAKE_OBJCOPY}
            -DREADELF=${CMAKE_READELF} -DDEBUG_DIR=${VNX_DEBUG_DIR}
            -P ${CMAKE_SOURCE_DIR}/cmake/split_debug.cmake
    COMMENT "Splitting the debug information off ${target}"
    VERBATIM)
endfunction()
