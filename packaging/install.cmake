# Installation, desktop integration, manual pages and the Debian package.
#
# Layout below the install prefix:
#   bin/orvanta, bin/orvanta-cli, bin/orvanta-train
#   share/orvanta/ptp/*.tp                         the bundled networks (from the same
#                                                  folder of the source tree)
#   share/applications/<app id>.desktop            starts the window wherever the session
#                                                  starts programs: it finds the networks
#                                                  from its own path
#   share/icons/hicolor/scalable/apps/orvanta.svg
#   share/metainfo/<app id>.metainfo.xml
#   share/man/man1/orvanta.1.gz, orvanta-cli.1.gz, orvanta-train.1.gz
#   share/doc/orvanta/copyright, changelog.Debian.gz  the licence (MIT) and the release history
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

# Every program looks for <its folder>/../share/orvanta/ptp, last on its search path: it
# relies on this destination (the build tree keeps a copy in <build>/src/share/orvanta/ptp,
# as seen from its programs in <build>/src/app, src/cli and src/train).
if(EXISTS ${PROJECT_SOURCE_DIR}/share/orvanta/ptp)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/orvanta/ptp/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/orvanta/ptp
          FILES_MATCHING PATTERN "*.tp" PATTERN "previous" EXCLUDE)
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

# --- Licence and changelog ---------------------------------------------------------------

# The package's release number: the changelog's newest entry and the .deb's version carry it.
set(ORVANTA_DEB_RELEASE 1)

# The licence in the machine-readable format Debian reads copyright files in: the terms of
# LICENSE below its title and copyright line, each line indented, empty lines as " .".
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set(ORVANTA_LICENSE_TEXT)
set(in_terms OFF)
foreach(line IN LISTS license_lines)
  if(line MATCHES "^Permission is hereby granted")
    set(in_terms ON)
  endif()
  if(in_terms)
    if(line STREQUAL "")
      string(APPEND ORVANTA_LICENSE_TEXT " .\n")
    else()
      string(APPEND ORVANTA_LICENSE_TEXT " ${line}\n")
    endif()
  endif()
endforeach()
string(STRIP "${ORVANTA_LICENSE_TEXT}" ORVANTA_LICENSE_TEXT)
string(PREPEND ORVANTA_LICENSE_TEXT " ")
configure_file(${orvanta_packaging_dir}/copyright.in ${orvanta_packaging_out}/copyright @ONLY)

# The changelog's date is the release date at midnight UTC, in the form RFC 5322 gives
# ("Mon, 07 Dec 2026 00:00:00 +0000"); the weekday follows from Zeller's congruence.
if(NOT ORVANTA_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
  message(FATAL_ERROR "ORVANTA_RELEASE_DATE must be YYYY-MM-DD, not ${ORVANTA_RELEASE_DATE}")
endif()
set(year ${CMAKE_MATCH_1})
set(day ${CMAKE_MATCH_3})
math(EXPR month "${CMAKE_MATCH_2}")  # without its leading zero
math(EXPR zeller_day "${day}")
set(zeller_month ${month})
set(zeller_year ${year})
if(month LESS 3)
  math(EXPR zeller_month "${month} + 12")
  math(EXPR zeller_year "${year} - 1")
endif()
math(EXPR weekday "(${zeller_day} + (13 * (${zeller_month} + 1)) / 5 + ${zeller_year} \
                   + ${zeller_year} / 4 - ${zeller_year} / 100 + ${zeller_year} / 400) % 7")
set(weekdays Sat Sun Mon Tue Wed Thu Fri)
list(GET weekdays ${weekday} weekday_name)
math(EXPR month_index "${month} - 1")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET months ${month_index} month_name)
set(ORVANTA_RELEASE_DATE_RFC2822 "${weekday_name}, ${day} ${month_name} ${year} 00:00:00 +0000")
configure_file(${orvanta_packaging_dir}/changelog.Debian.in
               ${orvanta_packaging_out}/changelog.Debian @ONLY)

# Compressed as Debian wants it: gzip -9, without a name or time stamp in the header. Its
# source is configured above, so this runs again whenever the changelog changes.
find_program(ORVANTA_GZIP gzip REQUIRED)
execute_process(COMMAND ${ORVANTA_GZIP} -9 -n -c ${orvanta_packaging_out}/changelog.Debian
                OUTPUT_FILE ${orvanta_packaging_out}/changelog.Debian.gz
                RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${orvanta_packaging_out}/changelog.Debian")
endif()
install(FILES ${orvanta_packaging_out}/changelog.Debian.gz ${orvanta_packaging_out}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# lintian's exemptions for the package (packaging/orvanta.lintian-overrides explains each);
# they mean something only in a package, which installs below /usr.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    file(INSTALL DESTINATION \"/usr/${CMAKE_INSTALL_DATADIR}/lintian/overrides\" TYPE FILE
         FILES \"${orvanta_packaging_dir}/orvanta.lintian-overrides\" RENAME orvanta)
  endif()
")

# --- Debian package ----------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta)
set(CPACK_PACKAGE_VENDOR "The Orvanta developers")
set(CPACK_PACKAGE_CONTACT "${ORVANTA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "estimate the market price of a Pokémon before selling it")
# Debian shows the description's lines as they are: each stays within 78 characters (the
# package adds a leading blank), and "." stands for an empty line.
set(CPACK_PACKAGE_DESCRIPTION
    "Orvanta is a desktop tool for players of an online Pokémon game who sell
Pokémon on the game's player market. From a Pokémon's National ID, level,
Shiny flag and six IVs it predicts three prices with three neural networks
trained for that species, their average and a recommended sales range, tells
how reliable the estimate is, and names the Hidden Power type with its price
addition.
.
The package holds the GTK window (orvanta), orvanta-cli to price one Pokémon
or a CSV file of them, orvanta-train to train the networks from sales
records, and networks for seven species trained on illustrative sales, to
show how it works.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The package installs below /usr, whatever prefix the build tree was configured with.
# The desktop entry is configured while installing, from the prefix it is installed under,
# so CPack installs with DESTDIR and the prefix /usr (by default it would install with its
# own staging folder as the prefix, and the entry would name that folder).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVANTA_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVANTA_PROJECT_URL}")
# Runtime dependencies (libgtk-3-0, libstdc++6, libc6, ...) are read off the programs by
# dpkg-shlibdeps (package dpkg-dev), so they follow whatever the programs really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-.*/" "/\\\\.cache/")
include(CPack)
