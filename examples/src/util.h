/* UTIL.H - helpers of HELLO.EXE. */
#ifndef UTIL_H
#define UTIL_H

const char *program_name(void);

#endif
