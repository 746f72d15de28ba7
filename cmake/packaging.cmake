# Installation beyond the programs (their rules are in kit_program) and the
# packages made from it: `cmake --build <dir> --target package`, or `cpack`
# in the build folder.

# The manual pages, and the test that they render cleanly.
add_subdirectory(${PROJECT_SOURCE_DIR}/man ${PROJECT_BINARY_DIR}/man)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Whoever builds the packages for others names the address that reaches them.
set(KIT_MAINTAINER "The kit developers <kit@example.org>"
    CACHE STRING "Maintainer of the packages: a name and an address in <>")

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
  include(${CMAKE_CURRENT_LIST_DIR}/debian/debian.cmake)
endif()

# The package configuration for find_package(kit CONFIG): the programs as
# the imported executables kit::tlfix ... kit::srcsplice.  It describes
# programs, which any project may run, so it lies in lib/ (no architecture
# folder) and accepts a project of any pointer size.
set(kit_config_dir lib/cmake/kit)
install(EXPORT kit_programs NAMESPACE kit:: FILE kit-targets.cmake DESTINATION ${kit_config_dir})
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kit-config-version.cmake
  COMPATIBILITY SameMinorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kit-config.cmake ${PROJECT_BINARY_DIR}/kit-config-version.cmake
        DESTINATION ${kit_config_dir})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The kit developers")
set(CPACK_PACKAGE_CONTACT ${KIT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
# Lines that begin with a space are shown as they are.
set(CPACK_PACKAGE_DESCRIPTION [[
Five small command-line utilities that a build of a legacy Windows or DOS
program calls between its compile and link steps:
  tlfix      adapts a linker response file for TLINK and runs the link
  bindrun    adapts one for ilink, wlink or another linker, links, binds
  coffdrv    links with a GCC tool chain that makes COFF images
  asmtally   counts the total, comment and blank lines of a source
  srcsplice  expands the include lines of an assembly source
They read DOS text (CR LF line ends, a Ctrl-Z end mark) and write every
file and message with CR LF line ends, alike on Linux and Windows.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # One folder to unpack anywhere: bin/ with the .exe files beside share/.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress_docs.cmake)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The libraries the programs link against, as the system's tool finds them
  # (static programs need none).
  if(NOT KIT_STATIC)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

# A source package holds the tracked tree, not builds or history.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "^${PROJECT_SOURCE_DIR}/\\\\.git/" "^${PROJECT_SOURCE_DIR}/build/")

include(CPack)
