# The Debian package (`cmake --build build --target package`) and what a
# desktop needs to show and start the installed program: icons rendered from
# resources/sondrix.svg, the AppStream metadata, the MIME types of the files
# it reads and writes, the copyright file and the changelog. docs/packaging.md
# describes the package; the version is PROJECT_VERSION and nothing else.

# What the publisher fills in (docs/packaging.md, "At publication").
set(SONDRIX_PACKAGE_MAINTAINER "Sondrix maintainers <maintainers@sondrix.example.org>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")
set(SONDRIX_HOMEPAGE "https://sondrix.example.org/" CACHE STRING "The project's home page (with a trailing /)")
set(SONDRIX_SCREENSHOT_URL "${SONDRIX_HOMEPAGE}screenshots"
    CACHE STRING "Where the screenshots named in the AppStream metadata are published")

# The program's licence (SPDX) and its full text; not a cache entry: the
# licence is the project's, not a build's.
set(SONDRIX_LICENSE "GPL-3.0-or-later")
set(SONDRIX_LICENSE_FILE "${PROJECT_SOURCE_DIR}/LICENSE")

set(package_dir ${CMAKE_BINARY_DIR}/package)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/sondrix)

# --- The changelog: the version's one other witness, and the releases ------
# Its newest entry must be the project's version: a new version needs an
# entry saying what changed, and the package, the AppStream releases and the
# programs then agree.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_lines)
set(SONDRIX_METAINFO_RELEASES "")
set(changelog_version "")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^sondrix \\(([^)]+)\\) ")
    set(entry_version ${CMAKE_MATCH_1})
    if(changelog_version STREQUAL "")
      set(changelog_version ${entry_version})
    endif()
  elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(day ${CMAKE_MATCH_1})
    set(year ${CMAKE_MATCH_3})
    list(FIND months ${CMAKE_MATCH_2} month)
    math(EXPR month "${month} + 1")
    if(month LESS 10)
      set(month 0${month})
    endif()
    string(LENGTH "${day}" day_digits)
    if(day_digits EQUAL 1)
      set(day 0${day})
    endif()
    string(APPEND SONDRIX_METAINFO_RELEASES
           "    <release version=\"${entry_version}\" date=\"${year}-${month}-${day}\"/>\n")
  endif()
endforeach()
string(STRIP "${SONDRIX_METAINFO_RELEASES}" SONDRIX_METAINFO_RELEASES)
set(SONDRIX_METAINFO_RELEASES "    ${SONDRIX_METAINFO_RELEASES}")
if(NOT changelog_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog starts with version ${changelog_version}, the project is "
                      "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION} at its top")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog ${package_dir}/changelog @ONLY)

# --- The copyright file (machine-readable, DEP-5) and the licence ----------
# GPL-3.0-or-later (the program links QCustomPlot, which is GPL-3): the full
# text is LICENSE at the top of the source; Debian keeps it in
# /usr/share/common-licenses, so the copyright file gives the grant and
# points there (lintian refuses a copy of the GPL in it).
if(NOT EXISTS ${SONDRIX_LICENSE_FILE})
  message(FATAL_ERROR "The licence's text ${SONDRIX_LICENSE_FILE} is missing")
endif()
set(SONDRIX_LICENSE_NAME "${SONDRIX_LICENSE}")
string(CONCAT SONDRIX_LICENSE_TEXT
       " This program is free software: you can redistribute it and/or modify\n"
       " it under the terms of the GNU General Public License as published by\n"
       " the Free Software Foundation, either version 3 of the License, or\n"
       " (at your option) any later version.\n"
       " .\n"
       " This program is distributed in the hope that it will be useful,\n"
       " but WITHOUT ANY WARRANTY; without even the implied warranty of\n"
       " MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.  See the\n"
       " GNU General Public License for more details.\n"
       " .\n"
       " On Debian systems, the complete text of the GNU General Public License\n"
       " version 3 can be found in \"/usr/share/common-licenses/GPL-3\".")
set(SONDRIX_METAINFO_PROJECT_LICENSE "  <project_license>${SONDRIX_LICENSE}</project_license>")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright ${package_dir}/copyright @ONLY)
install(FILES ${package_dir}/copyright DESTINATION ${doc_dir})

# Debian wants the changelog compressed at the highest level, without a
# time stamp (gzip -n), so that the package builds the same twice.
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${package_dir}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9nkf ${package_dir}/changelog
  DEPENDS ${package_dir}/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(sondrix_changelog ALL DEPENDS ${package_dir}/changelog.gz)
install(FILES ${package_dir}/changelog.gz DESTINATION ${doc_dir})

# The user guide and the pictures it shows, when the source tree has it.
set(user_guide ${PROJECT_SOURCE_DIR}/docs/user-guide.md)
if(EXISTS ${user_guide})
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${user_guide})
  install(FILES ${user_guide} DESTINATION ${doc_dir})
  # images/NAME.png and images/FOLDER/NAME.png, kept where the guide finds them.
  set(image_pattern "images/[A-Za-z0-9_./-]+\\.png")
  file(STRINGS ${user_guide} guide_image_lines REGEX "${image_pattern}")
  set(guide_images "")
  foreach(line IN LISTS guide_image_lines)
    string(REGEX MATCHALL "${image_pattern}" found "${line}")
    list(APPEND guide_images ${found})
  endforeach()
  list(REMOVE_DUPLICATES guide_images)
  foreach(image IN LISTS guide_images)
    if(EXISTS ${PROJECT_SOURCE_DIR}/docs/${image} AND NOT image MATCHES "\\.\\.")
      get_filename_component(image_dir ${image} DIRECTORY)
      install(FILES ${PROJECT_SOURCE_DIR}/docs/${image} DESTINATION ${doc_dir}/${image_dir})
    endif()
  endforeach()
endif()

# --- Desktop integration ----------------------------------------------------
if(SONDRIX_GUI)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/sondrix.metainfo.xml.in ${package_dir}/sondrix.metainfo.xml @ONLY)
  install(FILES ${package_dir}/sondrix.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/sondrix-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME sondrix.xml)

  # The icon at the sizes desktops look for, rendered from the drawing; the
  # drawing itself as the scalable one.
  install(FILES ${PROJECT_SOURCE_DIR}/resources/sondrix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(icons "")
    foreach(size 16 22 24 32 48 64 128 256)
      set(icon ${package_dir}/icons/${size}x${size}/sondrix.png)
      add_custom_command(
        OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${icon}
                ${PROJECT_SOURCE_DIR}/resources/sondrix.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/sondrix.svg
        VERBATIM)
      list(APPEND icons ${icon})
      install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(sondrix_icons ALL DEPENDS ${icons})
  else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: only the 128x128 icon is installed")
    install(FILES ${PROJECT_SOURCE_DIR}/resources/sondrix.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
  endif()
endif()

# What lintian was told, and why (docs/packaging.md).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME sondrix)

# --- The package --------------------------------------------------------------
# The shipped programs resolve every symbol at start and keep the relocation
# tables read-only afterwards (what Debian builds programs with).
foreach(program sondrix sondrix-cli sondrix-sim)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE -Wl,-z,relro -Wl,-z,now)
  endif()
endforeach()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sondrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Sondrix developers")
set(CPACK_PACKAGE_CONTACT "${SONDRIX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "in-water absorption and attenuation meter acquisition")
set(CPACK_PACKAGE_DESCRIPTION
    "Sondrix reads in-water optical absorption and attenuation meters over
RS-232 or a USB serial adapter, shows their spectra, time series and
depth profiles as they arrive, and records them to data files that it
replays later. It edits and calibrates device configuration files and
runs the instruments' self-test.

The package holds the desktop program sondrix, sondrix-cli, which
records, replays and describes runs without windows, and sondrix-sim,
which simulates every supported meter on a pseudo-terminal or into a
capture file, with example configurations and captures to try them on.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Science rather than electronics: the program serves oceanographers and
# limnologists measuring water, not the design of electronic circuits.
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${SONDRIX_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins for X11 and
# Wayland are loaded at run time, so no library names them (libqt6gui6 only
# recommends them).
if(SONDRIX_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# udev on Debian reads its rules from /lib/udev/rules.d: the rule moves there
# from under the prefix (where `cmake --install` keeps it).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_layout.cmake)
include(CPack)
