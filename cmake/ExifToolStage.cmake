# Stages Debian's ExifTool (script plus its Perl modules, documentation left
# out) into share/orvanta/exiftool/, the self-contained resource folder the
# program ships with and passes to orv_ql_init.
set(ORVQL_EXIFTOOL_SOURCE_SCRIPT "/usr/bin/exiftool" CACHE FILEPATH "ExifTool script to stage")
set(ORVQL_EXIFTOOL_SOURCE_LIB "/usr/share/perl5" CACHE PATH "Folder holding Image/ExifTool.pm")
set(ORVQL_EXIFTOOL_DIR ${ORVQL_SHARE_DIR}/exiftool)
set(ORVQL_EXIFTOOL_SCRIPT ${ORVQL_EXIFTOOL_DIR}/exiftool)

if(NOT EXISTS ${ORVQL_EXIFTOOL_SOURCE_SCRIPT} OR NOT EXISTS ${ORVQL_EXIFTOOL_SOURCE_LIB}/Image/ExifTool.pm)
  message(FATAL_ERROR "ExifTool not found (install libimage-exiftool-perl; scripts/bootstrap does)")
endif()

add_custom_command(
  OUTPUT ${ORVQL_EXIFTOOL_DIR}/.staged
  COMMAND ${CMAKE_COMMAND}
          -DSRC_SCRIPT=${ORVQL_EXIFTOOL_SOURCE_SCRIPT}
          -DSRC_LIB=${ORVQL_EXIFTOOL_SOURCE_LIB}
          -DDEST=${ORVQL_EXIFTOOL_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/stage_exiftool.cmake
  DEPENDS ${ORVQL_EXIFTOOL_SOURCE_SCRIPT} ${ORVQL_EXIFTOOL_SOURCE_LIB}/Image/ExifTool.pm
          ${CMAKE_CURRENT_LIST_DIR}/stage_exiftool.cmake
  COMMENT "Staging ExifTool into share/orvanta/exiftool"
  VERBATIM)
add_custom_target(exiftool_stage ALL DEPENDS ${ORVQL_EXIFTOOL_DIR}/.staged)

# Installed as staged (share/orvanta/exiftool beside bin/, where the programs
# look first) into any prefix but /usr: a home or /usr/local install has no
# package manager to keep an ExifTool current. Under /usr (the Debian
# package) the programs use Debian's own /usr/bin/exiftool, which the
# package depends on, so that new cameras come with Debian's updates.
install(CODE "
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/orvanta\"
         TYPE DIRECTORY FILES \"${ORVQL_EXIFTOOL_DIR}\" USE_SOURCE_PERMISSIONS PATTERN \".staged\" EXCLUDE)
  endif()
")
