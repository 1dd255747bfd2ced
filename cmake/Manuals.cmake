# SPDX-License-Identifier: MIT
# The manual pages of the three programs, made in every native build into
# build/packaging/man/ (the Debian package installs them; a test holds
# rt420ctl's page to its --help). Each is configured from its template with
# the version, the release date and the sections the pages share; rt420ctl's
# then gets its subcommands, options and exit codes from the table that
# prints --help (rt420ctl-manual).
set(RT420_MAN_SOURCE ${CMAKE_SOURCE_DIR}/packaging/man)
set(RT420_MAN_OUT ${CMAKE_BINARY_DIR}/packaging/man)
set(RT420_MANUALS)

foreach(part serial-ports settings-file serial-access demo-setup)
  string(TOUPPER "RT420_MAN_${part}" variable)
  string(REPLACE "-" "_" variable ${variable})
  file(READ ${RT420_MAN_SOURCE}/${part}.roff ${variable})
endforeach()

foreach(program rt420config rt420ctl rt420-sim)
  set(page ${RT420_MAN_OUT}/${program}.1)
  if(program STREQUAL "rt420ctl")
    configure_file(${RT420_MAN_SOURCE}/${program}.1.in ${page}.template @ONLY)
    add_custom_command(OUTPUT ${page}
      COMMAND rt420ctl-manual ${page}.template ${page}
      DEPENDS rt420ctl-manual ${page}.template
      COMMENT "Writing the manual page of rt420ctl from its help table"
      VERBATIM)
  else()
    configure_file(${RT420_MAN_SOURCE}/${program}.1.in ${page} @ONLY)
  endif()
  list(APPEND RT420_MANUALS ${page})
endforeach()
add_custom_target(rt420_manuals ALL DEPENDS ${RT420_MANUALS})
