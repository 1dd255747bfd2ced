# SPDX-License-Identifier: MIT
# The Windows installer (.msi, built with wixl) and the portable .zip of the
# Windows programs: rt420ctl.exe, rt420config.exe when this build makes it,
# the README (docs/windows.md and docs/command-line.md) and the licence. Both
# are part of the default build.
#
# Whether the window program is built is known only once every folder has
# been read, so the rules are added at the end of the top folder.

find_program(RT420_WIXL wixl REQUIRED DOC "wixl of msitools, which builds the installer")

# The installer's version: numeric fields only, "3.20-01" gives "3.20.1".
string(REPLACE "." ";" _rt420_version_fields "${RT420_VERSION_NUMBER}")
list(GET _rt420_version_fields 0 _rt420_major)
list(GET _rt420_version_fields 1 _rt420_minor)
math(EXPR _rt420_major "${_rt420_major} + 0")
math(EXPR _rt420_minor "${_rt420_minor} + 0")
math(EXPR _rt420_build "${RT420_VERSION_BUILD} + 0")
set(RT420_MSI_VERSION "${_rt420_major}.${_rt420_minor}.${_rt420_build}")

set(RT420_PACKAGE_NAME "rt420config-${RT420_VERSION}-win64")
set(RT420_WINDOWS_STAGE "${CMAKE_BINARY_DIR}/packaging/${RT420_PACKAGE_NAME}")
set(RT420_WINDOWS_MSI "${CMAKE_BINARY_DIR}/${RT420_PACKAGE_NAME}.msi")
set(RT420_WINDOWS_ZIP "${CMAKE_BINARY_DIR}/${RT420_PACKAGE_NAME}.zip")

# README.txt: the operator's page for Windows and the command-line tool's,
# one after the other (rewritten only when they change).
set(_rt420_readme_parts ${PROJECT_SOURCE_DIR}/docs/windows.md ${PROJECT_SOURCE_DIR}/docs/command-line.md)
set(_rt420_readme "")
foreach(part IN LISTS _rt420_readme_parts)
  file(READ ${part} text)
  string(APPEND _rt420_readme "${text}\n")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_rt420_readme_parts})
file(WRITE ${CMAKE_BINARY_DIR}/packaging/README.txt.new "${_rt420_readme}")
configure_file(${CMAKE_BINARY_DIR}/packaging/README.txt.new ${CMAKE_BINARY_DIR}/packaging/README.txt COPYONLY)
set(RT420_WINDOWS_README ${CMAKE_BINARY_DIR}/packaging/README.txt)

function(rt420_add_windows_packages)
  set(dir ${PROJECT_SOURCE_DIR}/packaging/windows)
  set(copies COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:rt420ctl> ${RT420_WINDOWS_STAGE}/rt420ctl.exe)
  set(programs rt420ctl)
  if(TARGET rt420config)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:rt420config> ${RT420_WINDOWS_STAGE}/rt420config.exe)
    list(APPEND programs rt420config)
  endif()
  add_custom_command(
    OUTPUT ${RT420_WINDOWS_MSI} ${RT420_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${RT420_WINDOWS_STAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RT420_WINDOWS_STAGE}
    ${copies}
    COMMAND ${CMAKE_COMMAND} -E copy ${RT420_WINDOWS_README} ${RT420_WINDOWS_STAGE}/README.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${RT420_WINDOWS_STAGE}/LICENSE.txt
    COMMAND bash ${dir}/build-msi.sh ${RT420_WINDOWS_STAGE} ${RT420_MSI_VERSION} ${RT420_WINDOWS_MSI}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${RT420_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/packaging
            ${CMAKE_COMMAND} -E tar cf ${RT420_WINDOWS_ZIP} --format=zip ${RT420_PACKAGE_NAME}
    DEPENDS ${programs} ${dir}/rt420config.wxs ${dir}/build-msi.sh ${RT420_WINDOWS_README}
            ${PROJECT_SOURCE_DIR}/LICENSE
    COMMENT "Windows installer and portable zip: ${RT420_PACKAGE_NAME}"
    VERBATIM)
  add_custom_target(rt420_windows_packages ALL DEPENDS ${RT420_WINDOWS_MSI} ${RT420_WINDOWS_ZIP})
endfunction()

cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL rt420_add_windows_packages)
