# The Debian package: everything `cmake --install` puts in place, under /usr. The dependencies
# come from the programs' own libraries (dpkg-shlibdeps), not from a list kept by hand, but for
# the plugins Qt loads at run time. No homepage: Linkvet has none that resolves yet.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME linkvet)
set(CPACK_PACKAGE_VENDOR "The Linkvet developers")
set(CPACK_PACKAGE_CONTACT "The Linkvet developers <linkvet@linkvet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop link checker for web pages kept as files")
# Each line of the long description fits in 80 columns in the control file, with the blank
# that starts it there.
set(CPACK_PACKAGE_DESCRIPTION
    "Linkvet scans HTML files for absolute links, asks each host for the page and
lists the failures, with a window (linkvet) and a command-line front end on the
same test engine (linkvet-check). It exports the list as a report and can
repair the pages, keeping a backup of every file it changes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG plugins that draw the window's icon at run time, where dpkg-shlibdeps cannot
# see them; the computed dependencies are added to this one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
include(CPack)
