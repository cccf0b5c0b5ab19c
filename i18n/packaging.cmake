# The message catalogues of the multi-language library, built from i18n/po with msgfmt and
# appended to libdbexpvnx-ml after every link by the packaging tool (i18n/tools).
# Included from the top-level list, as a step after a link must be declared beside its target.

find_program(VNX_MSGFMT msgfmt REQUIRED)

set(VNX_CATALOGUE_DIR ${CMAKE_BINARY_DIR}/catalogues)
set(VNX_CATALOGUE_FILES)
set(VNX_EMBED_ARGS)
# en_US holds only its header, as the messages are written in English.
foreach(language en_US pt_BR de es fr ja)
  set(po ${CMAKE_SOURCE_DIR}/i18n/po/${language}.po)
  set(mo ${VNX_CATALOGUE_DIR}/${language}/LC_MESSAGES/default.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VNX_CATALOGUE_DIR}/${language}/LC_MESSAGES
    COMMAND ${VNX_MSGFMT} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${language} message catalogue"
    VERBATIM)
  list(APPEND VNX_CATALOGUE_FILES ${mo})
  list(APPEND VNX_EMBED_ARGS locale/${language}/LC_MESSAGES/default.mo=${mo})
endforeach()
add_custom_target(vnx_catalogues DEPENDS ${VNX_CATALOGUE_FILES})

# A build tool: in the i386 tree it runs under the emulator that the toolchain names.
add_executable(vnx_embed_catalogues ${CMAKE_SOURCE_DIR}/i18n/tools/embed_catalogues.cpp)
target_include_directories(vnx_embed_catalogues PRIVATE ${CMAKE_SOURCE_DIR})

add_dependencies(dbexpvnx-ml vnx_catalogues vnx_embed_catalogues)
# A changed catalogue relinks the library, which packages it afresh.
set_property(TARGET dbexpvnx-ml APPEND PROPERTY LINK_DEPENDS ${VNX_CATALOGUE_FILES})
add_custom_command(TARGET dbexpvnx-ml POST_BUILD
  COMMAND vnx_embed_catalogues $<TARGET_FILE:dbexpvnx-ml> ${VNX_EMBED_ARGS}
  COMMENT "Appending the message catalogues to libdbexpvnx-ml"
  VERBATIM)
