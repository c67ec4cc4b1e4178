/* The line editor: asking a person at a terminal. */
#ifndef QIRO_EDIT_H
#define QIRO_EDIT_H

#include <stdio.h>

#include "read.h"

/* The longest line the editor takes: the terminal's own line limit. */
enum { QIRO_LINE_MAX = 4095 };

/*
 * True when in and err are both terminals, and TERM is set and not "dumb":
 * a person is there, on a terminal that can move its cursor.
 */
bool qiro_can_edit(FILE *in, FILE *err);

/*
 * As qiro_ask, with each line edited in place at the terminal; the caller
 * holds in's lock (flockfile) or is its only user. The terminal is in the
 * editor's mode only while this waits for keys: the caller's settings are
 * back before it returns, and before the process stops or ends on a signal.
 * Lines given at earlier prompts of the process come back with Up.
 */
qiro_status qiro_edit(FILE *in, FILE *err, const char *prompt, int *value);

#endif
