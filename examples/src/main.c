/* MAIN.C - HELLO.EXE, the COFF part of the example. */
#include "greet.h"
#include "util.h"

int main(void)
{
    greet(program_name());
    return 0;
}
