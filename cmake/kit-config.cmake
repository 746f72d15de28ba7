# The kit's programs as imported executables, for custom commands:
# kit::tlfix, kit::bindrun, kit::coffdrv, kit::asmtally and kit::srcsplice.
include(${CMAKE_CURRENT_LIST_DIR}/kit-targets.cmake)
