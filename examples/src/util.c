/* UTIL.C - helpers of HELLO.EXE. */
#include "util.h"

const char *program_name(void)
{
    return "HELLO.EXE";
}
