# Installation beyond the programs (their rules are in kit_program) and the
# packages made from it: `cmake --build <dir> --target package`, or `cpack`
# in the build folder.

# The manual pages, and the test that they render cleanly.
add_subdirectory(${PROJECT_SOURCE_DIR}/man ${PROJECT_BINARY_DIR}/man)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The kit developers")
set(CPACK_PACKAGE_CONTACT "The kit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
    "tlfix, bindrun, coffdrv, asmtally and srcsplice: small command-line utilities that a build \
of a legacy Windows or DOS program calls between its compile and link steps.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # One folder to unpack anywhere: bin/ with the .exe files beside share/.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The libraries the programs link against, as the system's tool finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

# A source package holds the tracked tree, not builds or history.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "^${PROJECT_SOURCE_DIR}/\\\\.git/" "^${PROJECT_SOURCE_DIR}/build/")

include(CPack)
