# Run by CPack in its staging folder before it makes a Linux package:
# compresses the manual pages and Debian's changelog, as Debian packages
# keep them.  cmake --install leaves them plain, so only a package needs
# gzip.  -n leaves the name and time out: the same page, the same bytes.
find_program(KIT_GZIP gzip)
if(NOT KIT_GZIP)
  message(FATAL_ERROR "a package compresses its manual pages with gzip, which was not found "
                      "(apt-get install gzip)")
endif()
file(GLOB_RECURSE docs LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/*)
list(FILTER docs INCLUDE REGEX "/man1/[^/]+\\.1$|/doc/kit/changelog$")
foreach(doc IN LISTS docs)
  execute_process(COMMAND ${KIT_GZIP} -9nf ${doc} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
