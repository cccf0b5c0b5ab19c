# Moves the debug information of a freshly linked binary into FILE.debug beside it and
# strips the binary. The two stay linked twice over: the stripped file names FILE.debug in
# its debug link, and both carry the same build id, under which DEBUG_DIR/.build-id holds a
# link to FILE.debug (gdb: "set debug-file-directory DEBUG_DIR").
#
#   cmake -DFILE=... -DOBJCOPY=... -DREADELF=... -DDEBUG_DIR=... -P split_debug.cmake
#
# Runs right after the link, before anything is appended to the file: objcopy keeps only
# what lies in sections, so a block appended after the section headers would not survive.
foreach(var FILE OBJCOPY READELF DEBUG_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "split_debug.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "split_debug.cmake: ${ARGN} failed: ${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(debug "${FILE}.debug")
file(REMOVE "${debug}")
run(${OBJCOPY} --only-keep-debug "${FILE}" "${debug}")
# What the Debian tools remove from a shipped binary: symbols nothing links against, and the
# compiler's version notes; the dynamic symbols and the build id stay.
run(${OBJCOPY} --strip-unneeded --remove-section=.comment "--add-gnu-debuglink=${debug}" "${FILE}")

run(${READELF} -n "${FILE}")
if(NOT out MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "split_debug.cmake: ${FILE} has no build id (link with --build-id)")
endif()
set(by_id "${DEBUG_DIR}/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug")

# A relink gives a new build id: drop the links of earlier builds of this file.
file(RELATIVE_PATH target "${DEBUG_DIR}/.build-id/xx" "${debug}")
file(GLOB old "${DEBUG_DIR}/.build-id/*/*.debug")
foreach(link IN LISTS old)
  file(READ_SYMLINK "${link}" to)
  if(to STREQUAL target)
    file(REMOVE "${link}")
  endif()
endforeach()
get_filename_component(dir "${by_id}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(CREATE_LINK "${target}" "${by_id}" SYMBOLIC)
