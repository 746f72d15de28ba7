/* GREET.H - the greeting library. */
#ifndef GREET_H
#define GREET_H

/* Writes the greeting for name to standard output. */
void greet(const char *name);

#endif
