# SPDX-License-Identifier: MIT
# The Debian package's files besides the programs, made at build time from
# packaging/ and installed under /usr/share. Each text that carries the
# version, the release date or the release notes is configured from the one
# definition of each, so no two of them can disagree. Included by
# Packaging.cmake.

# Escapes a text for XML character data.
function(rt420_xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# gzip -9n (no name, no time stamp: the same bytes at every build) of one
# file into file.gz; the output's path is appended to RT420_PACKAGE_FILES.
function(rt420_gzip file)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${GZIP_PROGRAM} -9nkf ${file}
    DEPENDS ${file}
    VERBATIM)
  set(RT420_PACKAGE_FILES ${RT420_PACKAGE_FILES} ${file}.gz PARENT_SCOPE)
endfunction()

set(RT420_PACKAGE_FILES)

# ---------------------------------------------------------------- dates
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${DATE_PROGRAM} -u -R -d ${RT420_RELEASE_DATE}
  OUTPUT_VARIABLE RT420_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(SUBSTRING ${RT420_RELEASE_DATE} 0 4 RT420_RELEASE_YEAR)

# ---------------------------------------------------------------- release notes
# packaging/release-notes.txt: one note a line, for this version. They become
# the changelog's entries and the AppStream release's description.
file(STRINGS ${RT420_PACKAGING_SOURCE}/release-notes.txt RT420_NOTES REGEX "^[^#]")
set(RT420_RELEASE_NOTES_CHANGELOG "")
set(RT420_RELEASE_NOTES_XML "")
foreach(note IN LISTS RT420_NOTES)
  string(LENGTH "${note}" length)
  if(length GREATER 76)
    message(FATAL_ERROR "release note longer than 76 characters (the changelog's lines): ${note}")
  endif()
  string(APPEND RT420_RELEASE_NOTES_CHANGELOG "  * ${note}\n")
  rt420_xml_escape("${note}" escaped)
  string(APPEND RT420_RELEASE_NOTES_XML "          <li>${escaped}</li>\n")
endforeach()

# The package's description, as AppStream paragraphs.
file(READ ${RT420_PACKAGING_SOURCE}/description.txt description)
string(STRIP "${description}" description)
rt420_xml_escape("${description}" description)
string(REGEX REPLACE "\n\n+" "</p>\n    <p>" description "${description}")
string(REPLACE "\n" " " description "${description}")
string(REPLACE "</p> " "</p>\n" description "${description}")
set(RT420_DESCRIPTION_XML "    <p>${description}</p>")

# ---------------------------------------------------------------- desktop, AppStream
set(RT420_PROVIDES_XML "")
foreach(program IN LISTS RT420_PROGRAMS)
  string(APPEND RT420_PROVIDES_XML "    <binary>${program}</binary>\n")
endforeach()
configure_file(${RT420_PACKAGING_SOURCE}/rt420config.desktop.in
  ${RT420_PACKAGING_OUT}/${RT420_APP_ID}.desktop @ONLY)
configure_file(${RT420_PACKAGING_SOURCE}/rt420config.metainfo.xml.in
  ${RT420_PACKAGING_OUT}/${RT420_APP_ID}.metainfo.xml @ONLY)
install(FILES ${RT420_PACKAGING_OUT}/${RT420_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RT420_PACKAGING_OUT}/${RT420_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# ---------------------------------------------------------------- icons
add_executable(rt420-icons ${CMAKE_SOURCE_DIR}/qt/icon_export.cpp)
target_link_libraries(rt420-icons PRIVATE rt420_window Qt6::Svg)
set(icons ${RT420_PACKAGING_OUT}/icons/hicolor)
set(icon_files)
foreach(size 48x48 128x128 256x256)
  list(APPEND icon_files ${icons}/${size}/apps/${RT420_APP_ID}.png)
endforeach()
list(APPEND icon_files ${icons}/scalable/apps/${RT420_APP_ID}.svg)
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:rt420-icons> ${icons} ${RT420_APP_ID}
  DEPENDS rt420-icons
  COMMENT "Painting the desktop icons"
  VERBATIM)
list(APPEND RT420_PACKAGE_FILES ${icon_files})
install(DIRECTORY ${icons} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# ---------------------------------------------------------------- manuals
# Made by cmake/Manuals.cmake in every native build; packed here.
foreach(page IN LISTS RT420_MANUALS)
  rt420_gzip(${page})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# ---------------------------------------------------------------- documents
configure_file(${RT420_PACKAGING_SOURCE}/copyright.in ${RT420_PACKAGING_OUT}/doc/copyright @ONLY)
configure_file(${RT420_PACKAGING_SOURCE}/changelog.Debian.in ${RT420_PACKAGING_OUT}/doc/changelog.Debian @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/README.md ${RT420_PACKAGING_OUT}/doc/README.md COPYONLY)
rt420_gzip(${RT420_PACKAGING_OUT}/doc/changelog.Debian)
rt420_gzip(${RT420_PACKAGING_OUT}/doc/README.md)
install(FILES
  ${RT420_PACKAGING_OUT}/doc/copyright
  ${RT420_PACKAGING_OUT}/doc/changelog.Debian.gz
  ${RT420_PACKAGING_OUT}/doc/README.md.gz
  DESTINATION ${RT420_DOC_DIR})
# The pages the README links to, beside it as in the source tree.
file(GLOB RT420_DOC_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
foreach(page IN LISTS RT420_DOC_PAGES)
  get_filename_component(name ${page} NAME)
  configure_file(${page} ${RT420_PACKAGING_OUT}/doc/docs/${name} COPYONLY)
  rt420_gzip(${RT420_PACKAGING_OUT}/doc/docs/${name})
  install(FILES ${RT420_PACKAGING_OUT}/doc/docs/${name}.gz DESTINATION ${RT420_DOC_DIR}/docs)
endforeach()
# Lintian warnings accepted with a reason, when there are any (the README's
# "Debian package" section lists them).
if(EXISTS ${RT420_PACKAGING_SOURCE}/lintian-overrides)
  install(FILES ${RT420_PACKAGING_SOURCE}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${RT420_PACKAGE_NAME})
endif()

# ---------------------------------------------------------------- the whole
# Everything the package installs; scripts/package.sh builds this target.
add_custom_target(rt420_package_contents DEPENDS ${RT420_PACKAGE_FILES})
add_dependencies(rt420_package_contents ${RT420_PROGRAMS})
