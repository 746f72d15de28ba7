# Installs the kit from its build folder into a scratch prefix, then
# configures and builds the consumer project against that installation.
#   cmake -DKIT_BUILD=<build folder of the kit> -DSCRATCH=<folder> -DGENERATOR=<generator>
#         [-DMAKE_PROGRAM=<program>] -P build_against_install.cmake

file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${KIT_BUILD} --prefix ${SCRATCH}/prefix
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${SCRATCH}/build
                        -G ${GENERATOR} -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}
                        -DCMAKE_PREFIX_PATH=${SCRATCH}/prefix
                COMMAND_ERROR_IS_FATAL ANY)
# Another installation of the kit must not have been taken instead.
file(STRINGS ${SCRATCH}/build/CMakeCache.txt kit_dir REGEX "^kit_DIR:")
if(NOT kit_dir STREQUAL "kit_DIR:PATH=${SCRATCH}/prefix/lib/cmake/kit")
  message(FATAL_ERROR "the consumer found the kit elsewhere: ${kit_dir}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${SCRATCH}/build COMMAND_ERROR_IS_FATAL ANY)
