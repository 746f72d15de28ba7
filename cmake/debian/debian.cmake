# What Debian wants beside the programs in a package: a machine-readable
# copyright file, the changelog in Debian's own format (the version has no
# Debian revision, so it is a native package's changelog, compressed in the
# package) and, for static programs, the lintian override that gives the
# reason.  Installed by every Linux build, so the .tar.gz carries them too.
set(kit_debian_dir ${PROJECT_BINARY_DIR}/debian)

# Made from LICENSE, so the two cannot differ.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE kit_license)
if(NOT kit_license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no \"Copyright (c) <year> <holder>\" line before the terms")
endif()
set(kit_copyright "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" kit_license_text "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " kit_license_text " ${kit_license_text}")
file(CONFIGURE OUTPUT ${kit_debian_dir}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Upstream-Contact: ${KIT_MAINTAINER}

Files: *
Copyright: ${kit_copyright}
License: Expat
${kit_license_text}
")

# One entry for the version built; CHANGELOG.md beside it tells the changes.
# The date honours SOURCE_DATE_EPOCH.
string(TIMESTAMP kit_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(CONFIGURE OUTPUT ${kit_debian_dir}/changelog @ONLY CONTENT
"${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}; the changes are listed in CHANGELOG.md.

 -- ${KIT_MAINTAINER}  ${kit_date}
")

install(FILES ${kit_debian_dir}/copyright ${kit_debian_dir}/changelog
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(KIT_STATIC)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${PROJECT_NAME})
endif()
