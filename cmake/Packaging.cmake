# SPDX-License-Identifier: MIT
# The Debian package made by scripts/package.sh: what it installs, the files
# made for it at build time (icons, manuals, metadata, documents) and CPack's
# DEB settings. Only with -DRT420_PACKAGE=ON, so that the everyday build and
# the tests need none of it.
option(RT420_PACKAGE "Build the Debian package's files and set up CPack" OFF)
if(NOT RT420_PACKAGE)
  return()
endif()

include(GNUInstallDirs)
# The SVG icon is written by Qt's SVG generator from the window icon's own
# drawing; only the build tool links it, the package does not need it.
find_package(Qt6 REQUIRED COMPONENTS Svg)
find_program(GZIP_PROGRAM gzip REQUIRED)
find_program(DATE_PROGRAM date REQUIRED)

# The package's facts, in one place.
set(RT420_PACKAGE_NAME rt420config)
set(RT420_APP_ID example.tavix.RT420Config)  # reverse DNS of tavix.example
set(RT420_VENDOR "TAVIX Technology Co., Ltd.")
# No comma in the name: Debian reads a comma as the start of another contact.
set(RT420_MAINTAINER "TAVIX RT-420 Maintainers <support@tavix.example>")
set(RT420_HOMEPAGE "https://www.tavix.example/")
set(RT420_SUMMARY "configuration tool for the TAVIX RT-420 Wiegand converter module")

set(RT420_PACKAGING_SOURCE ${CMAKE_SOURCE_DIR}/packaging)
set(RT420_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(RT420_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${RT420_PACKAGE_NAME})

# ---------------------------------------------------------------- programs
set(RT420_PROGRAMS rt420config rt420ctl rt420-sim)
install(TARGETS ${RT420_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

include(${CMAKE_CURRENT_LIST_DIR}/PackagingFiles.cmake)

# ---------------------------------------------------------------- CPack
# cpack installs what is already built: scripts/package.sh builds the
# package's contents alone, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${RT420_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR ${RT420_VENDOR})
set(CPACK_PACKAGE_CONTACT ${RT420_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${RT420_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# "3.20-01" is Debian version 3.20 with revision 01: the package's version
# reads exactly as the title's.
set(CPACK_DEBIAN_PACKAGE_VERSION ${RT420_VERSION_NUMBER})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RT420_VERSION_BUILD})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RT420_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${RT420_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's Chinese texts need a font with GB2312 and Big5 glyphs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wqy-zenhei)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
file(READ ${RT420_PACKAGING_SOURCE}/description.txt RT420_DESCRIPTION)
string(STRIP "${RT420_DESCRIPTION}" RT420_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${RT420_SUMMARY}\n${RT420_DESCRIPTION}")
include(CPack)
