# What `cmake --install` adds beside the programs (the desktop entry and icon of the
# window, the copyright and changelog Debian wants, optionally manual pages made by
# help2man from --help), and the Debian package built from it all by `cpack -G DEB`
# (scripts/package).

option(VARNOLT_MAN_PAGES "Write manual pages from the programs' --help with help2man" OFF)

set(VARNOLT_PKG_SOURCE ${PROJECT_SOURCE_DIR}/packaging)
set(VARNOLT_PKG_BINARY ${PROJECT_BINARY_DIR}/packaging)
set(VARNOLT_DOC_DIR share/doc/varnolt)

# ---- desktop entry and icon for the window ----
# The manual goes to share/varnolt (app/CMakeLists.txt), where the window opens it;
# doc-base registers only what lies under share/doc, so it has no entry.
if(VARNOLT_BUILD_GUI)
  install(FILES ${VARNOLT_PKG_SOURCE}/varnolt-gui.desktop DESTINATION share/applications)
  install(FILES ${VARNOLT_PKG_SOURCE}/varnolt.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()

# ---- copyright and changelog ----
# The changelog's newest entry is the package version: a project version without its
# entry would give a package whose history says otherwise.
file(STRINGS ${VARNOLT_PKG_SOURCE}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^varnolt \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${changelog_head}': add an entry "
                      "for version ${PROJECT_VERSION} on top")
endif()
# Debian keeps changelogs compressed, at the highest level, without a time stamp.
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${VARNOLT_PKG_BINARY}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${VARNOLT_PKG_SOURCE}/changelog ${VARNOLT_PKG_BINARY}/changelog
  COMMAND ${GZIP} -9nf ${VARNOLT_PKG_BINARY}/changelog
  DEPENDS ${VARNOLT_PKG_SOURCE}/changelog
  VERBATIM)
add_custom_target(varnolt_changelog ALL DEPENDS ${VARNOLT_PKG_BINARY}/changelog.gz)
install(FILES ${VARNOLT_PKG_SOURCE}/copyright ${VARNOLT_PKG_BINARY}/changelog.gz
        DESTINATION ${VARNOLT_DOC_DIR})

# ---- manual pages from --help ----
# varnolt(1) for the program, varnolt-convert(1), varnolt-point(1) and
# varnolt-correct(1) for its subcommands (as git-commit(1) is to git), varnolt-gui(1).
if(VARNOLT_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  set(man_dir ${VARNOLT_PKG_BINARY}/man)
  set(man_pages)

  # varnolt_man_page(PAGE TARGET NAME_LINE [ENV VAR=VALUE...]): runs help2man on
  # ${man_dir}/PAGE, a small script standing for the program (or one subcommand)
  # written before, and gzips the page.
  function(varnolt_man_page page target name_line)
    set(out ${man_dir}/${page}.1.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E env ${ARGN}
              ${HELP2MAN} --no-info --section=1 --source=Varnolt --locale=C.UTF-8
              --name=${name_line} --include=${man_dir}/see_also_${page}.h2m
              --output=${man_dir}/${page}.1 ${man_dir}/${page}
      COMMAND ${GZIP} -9nf ${man_dir}/${page}.1
      DEPENDS ${target} ${man_dir}/${page} ${man_dir}/see_also_${page}.h2m
      COMMENT "Manual page ${page}(1)"
      VERBATIM)
    set(man_pages ${man_pages} ${out} PARENT_SCOPE)
  endfunction()

  # help2man names a page after the first word of `--version` and reads `--help`;
  # each script answers both for its program or subcommand.
  set(all_pages varnolt varnolt-convert varnolt-point varnolt-correct)
  if(VARNOLT_BUILD_GUI)
    list(APPEND all_pages varnolt-gui)
  endif()
  foreach(page IN LISTS all_pages)
    if(page STREQUAL "varnolt-gui")
      set(run [=[exec "$<TARGET_FILE:varnolt-gui>" "$@"]=])
    elseif(page STREQUAL "varnolt")
      set(run [=[exec "$<TARGET_FILE:varnolt>" "$@"]=])
    else()
      string(REPLACE "varnolt-" "" sub ${page})
      set(run [=[if [ "$1" = --version ]; then
  "$<TARGET_FILE:varnolt>" --version | sed '1s/^varnolt /@page@ /'
else
  exec "$<TARGET_FILE:varnolt>" @sub@ "$@"
fi]=])
      string(REPLACE "@page@" "${page}" run "${run}")
      string(REPLACE "@sub@" "${sub}" run "${run}")
    endif()
    file(GENERATE OUTPUT ${man_dir}/${page} CONTENT "#!/bin/sh\n${run}\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    # SEE ALSO: every other page.
    set(others ${all_pages})
    list(REMOVE_ITEM others ${page})
    list(TRANSFORM others REPLACE "(.+)" "\\\\fB\\1\\\\fR(1)")
    list(JOIN others ",\n" see_also)
    file(CONFIGURE OUTPUT ${man_dir}/see_also_${page}.h2m CONTENT "[SEE ALSO]\n${see_also}\n")
  endforeach()

  varnolt_man_page(varnolt varnolt
    "convert CAD drawings on a Gauss-Krueger plane to KML, and derive datum corrections")
  varnolt_man_page(varnolt-convert varnolt "convert DXF drawings to KML or KMZ documents")
  varnolt_man_page(varnolt-point varnolt
    "project Gauss-Krueger plane points to WGS 84 longitude and latitude")
  varnolt_man_page(varnolt-correct varnolt
    "derive the latitude and longitude corrections from control points")
  if(VARNOLT_BUILD_GUI)
    # The window needs no display to print its help.
    varnolt_man_page(varnolt-gui varnolt-gui
      "the Varnolt window: settings, conversion with picking, correction calculator"
      QT_QPA_PLATFORM=offscreen)
  endif()
  add_custom_target(varnolt_man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION share/man/man1)
endif()

# ---- the Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnolt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Varnolt team <team@varnolt.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Varnolt team <team@varnolt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CAD drawings on a Gauss-Krueger plane to KML")
# The summary above is the synopsis line; this is the text under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Varnolt converts DXF drawings made on a Chinese Gauss-Krueger plane (Beijing
1954 or Xi'an 1980 datum, any central meridian) into KML documents that Google
Earth opens, shifting every point by a latitude and a longitude correction
toward WGS 84. Lines, arcs, circles, polylines, texts and multiline texts each
become a placemark in their own colour.
.
The package holds the command line tool varnolt (convert, point, correct) and
the window varnolt-gui, where entities are picked on screen before conversion
and the corrections are derived from control points.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Dependencies come from the libraries the programs link, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Directories 0755 whatever the umask of the user who builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
