/*
 * GREET.C - the greeting library (LIBGREET.A).
 *
 * Kept in a library of its own so that the link resolves it along LIB.
 */
#include <stdio.h>

#include "greet.h"

void greet(const char *name)
{
    printf("Hello from %s, linked by coffdrv\n", name);
}
