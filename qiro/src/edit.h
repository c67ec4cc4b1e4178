/* The line editor: asking a person at a terminal. */
#ifndef QIRO_EDIT_H
#define QIRO_EDIT_H

#include <stdio.h>

#include "read.h"

/*
 * True when in and err are one terminal, and TERM is set and not "dumb":
 * a person is there, on a terminal that can move its cursor.
 */
bool qiro_can_edit(FILE *in, FILE *err);

/*
 * As qiro_ask, with each line edited in place at the terminal where the
 * caller's settings are canonical with echo (else as qiro_ask); the caller
 * holds in's lock (flockfile) or is its only user. Lines given at earlier
 * prompts of the process come back with Up.
 */
qiro_status qiro_edit(FILE *in, FILE *err, const char *prompt, qiro_range r,
		      int *value);

#endif
