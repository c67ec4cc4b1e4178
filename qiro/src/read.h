/* Reading lines from a stream and asking until a whole number comes. */
#ifndef QIRO_READ_H
#define QIRO_READ_H

#include <cstdio>

#include "parse.h"

enum qiro_status { QIRO_OK, QIRO_END, QIRO_ERROR };

/*
 * Feeds the next line of in, without its '\n', to p. QIRO_OK when a line
 * was read (a last line with no '\n' too), QIRO_END when in held nothing
 * more, QIRO_ERROR on a read error, with errno set.
 */
qiro_status qiro_read_line(FILE *in, qiro_parser *p);

/*
 * Writes prompt to err and reads lines from in until one is a whole number,
 * telling err why each other line is not. QIRO_OK with *value set, or how
 * the input ran out.
 */
qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, int *value);

#endif
