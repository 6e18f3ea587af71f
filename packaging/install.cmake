# Installation, desktop integration, manual pages and the Debian package.
#
# Layout below the install prefix:
#   bin/orvanta, bin/orvanta-cli, bin/orvanta-train
#   share/orvanta/ptp/*.tp                         the bundled networks
#   share/applications/<app id>.desktop            starts the window in share/orvanta,
#                                                  because the window reads ./ptp
#   share/icons/hicolor/scalable/apps/orvanta.svg
#   share/metainfo/<app id>.metainfo.xml
#   share/man/man1/orvanta.1.gz, orvanta-cli.1.gz, orvanta-train.1.gz
#
# `cpack` (or the `package` target) builds orvanta_<version>-1_<arch>.deb from the same rules.

include(GNUInstallDirs)

set(ORVANTA_APP_ID "org.example.orvanta" CACHE STRING
    "Reverse-DNS identifier of the desktop application (names the .desktop and metainfo files)")
set(ORVANTA_PROJECT_URL "https://orvanta.example.org" CACHE STRING
    "Home page of the project; the AppStream screenshot is <url>/docs/screenshot.png")
set(ORVANTA_RELEASE_DATE "2026-12-07" CACHE STRING "Release date of this version (YYYY-MM-DD)")
set(ORVANTA_PACKAGE_CONTACT "Orvanta developers <maintainers@orvanta.example.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(orvanta_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(orvanta_packaging_out ${PROJECT_BINARY_DIR}/packaging)

# --- Programs and networks ---------------------------------------------------------------

foreach(program orvanta orvanta-cli orvanta-train)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# orvanta-cli looks for <its folder>/../share/orvanta/ptp, the desktop entry starts the
# window in share/orvanta: both rely on this destination.
if(EXISTS ${PROJECT_SOURCE_DIR}/ptp)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/ptp/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvanta/ptp
          FILES_MATCHING PATTERN "*.tp")
endif()

# --- Desktop entry -----------------------------------------------------------------------

# The entry pins no working folder: the window finds the installed networks from its own
# path, after ./ptp and the seller's own folder.
configure_file(${orvanta_packaging_dir}/orvanta.desktop.in
               ${orvanta_packaging_out}/${ORVANTA_APP_ID}.desktop @ONLY)
install(FILES ${orvanta_packaging_out}/${ORVANTA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

install(FILES ${orvanta_packaging_dir}/orvanta.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

configure_file(${orvanta_packaging_dir}/orvanta.metainfo.xml.in
               ${orvanta_packaging_out}/${ORVANTA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${orvanta_packaging_out}/${ORVANTA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# --- Manual pages ------------------------------------------------------------------------

# Each page has a single source, packaging/man/<program>.1.scd, turned into a gzipped roff
# page by scdoc while building. The options each tool prints for --help are checked against
# its page by the install test, so the two cannot drift apart unnoticed.
find_program(ORVANTA_SCDOC scdoc)
find_program(ORVANTA_GZIP gzip)
if(ORVANTA_SCDOC AND ORVANTA_GZIP)
  set(pages)
  foreach(program orvanta orvanta-cli orvanta-train)
    set(source ${orvanta_packaging_dir}/man/${program}.1.scd)
    set(page ${orvanta_packaging_out}/man/${program}.1.gz)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -DSCDOC=${ORVANTA_SCDOC} -DGZIP=${ORVANTA_GZIP}
              -DSOURCE=${source} -DPAGE=${page} -P ${orvanta_packaging_dir}/man_page.cmake
      DEPENDS ${source} ${orvanta_packaging_dir}/man_page.cmake
      COMMENT "Manual page ${program}(1)"
      VERBATIM)
    list(APPEND pages ${page})
    if(TARGET ${program})
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
  add_custom_target(orvanta-man-pages ALL DEPENDS ${pages})
else()
  message(WARNING "scdoc or gzip not found (scripts/setup installs them): "
                  "the manual pages are neither built nor installed")
endif()

# --- Debian package ----------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta)
set(CPACK_PACKAGE_VENDOR "The Orvanta developers")
set(CPACK_PACKAGE_CONTACT "${ORVANTA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "estimate the market price of a Pokémon before selling it")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvanta is a desktop tool for players of an online Pokémon game who sell Pokémon on
the game's player market. From a Pokémon's National ID, level, Shiny flag and six IVs it
predicts three prices with three neural networks trained for that species, their
average and a recommended sales range, tells how reliable the estimate is, and names the
Hidden Power type with its price addition.
.
The package holds the GTK window (orvanta), orvanta-cli to price one Pokémon or a CSV
file of them, orvanta-train to train the networks from sales records, and networks for
seven species trained on illustrative sales, to show how it works.")
# The package installs below /usr, whatever prefix the build tree was configured with.
# The desktop entry is configured while installing, from the prefix it is installed under,
# so CPack installs with DESTDIR and the prefix /usr (by default it would install with its
# own staging folder as the prefix, and the entry would name that folder).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVANTA_PROJECT_URL}")
# Runtime dependencies (libgtk-3-0, libstdc++6, libc6, ...) are read off the programs by
# dpkg-shlibdeps (package dpkg-dev), so they follow whatever the programs really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-.*/" "/\\\\.cache/")
include(CPack)
