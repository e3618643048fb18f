# A Debian package from the install rules: `cpack -G DEB` in the build folder
# writes orvanta-preview_<version>_<arch>.deb, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta-preview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Orvanta preview developers <preview@orvanta.invalid>")
# The first line is the short description; the rest is the long one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "photo previewer with the metadata that matters
Orvanta preview shows a photo or a camera RAW file (from the preview
embedded in it) beside a panel of what matters: camera and lens, exposure,
date and place, the camera's look, the maker's own settings, keywords and
rights, and a box where the camera focused.

It includes the previewer (a window, or the desktop previewer for Space in
GNOME Files), a thumbnailer that gives camera RAW files their embedded
previews in file managers, orv-ql for the command line, and the metadata
core as a shared library with C entry points. It runs Debian's ExifTool.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# liborvql.so is the package's own: dpkg-shlibdeps must find it in the tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)

# The system Perl library is opened at run time (dlopen), which
# dpkg-shlibdeps cannot see: declare the package that holds the one the
# build's perl has, and perl itself for the ExifTool processes.
execute_process(COMMAND perl -e "printf '%vd', $^V"
                OUTPUT_VARIABLE ORVQL_PERL_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[0-9]+\\.[0-9]+" ORVQL_PERL_SERIES "${ORVQL_PERL_VERSION}")
set(ORVQL_LIBPERL_PACKAGE libperl${ORVQL_PERL_SERIES})
execute_process(COMMAND dpkg-query -S /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libperl.so.${ORVQL_PERL_SERIES}
                OUTPUT_VARIABLE owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
if(owner MATCHES "^([^:]+):")
  set(ORVQL_LIBPERL_PACKAGE ${CMAKE_MATCH_1})
endif()
# ExifTool is Debian's own (its updates bring new cameras), not a copy.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "perl, ${ORVQL_LIBPERL_PACKAGE}, libimage-exiftool-perl")
# Qt's Wayland platform, loaded at run time: with it the previewer is a
# Wayland client in a Wayland session and its window belongs to the file
# manager's; without it Qt falls back to XWayland and the window is placed
# on its own.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
