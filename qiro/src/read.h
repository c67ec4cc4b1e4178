/* Reading lines from a stream and asking until a whole number comes. */
#ifndef QIRO_READ_H
#define QIRO_READ_H

#include <stdio.h>

#include "parse.h"

/* QIRO_EXITING: another thread is ending the process; the call is not to
 * return to its caller. */
enum qiro_status { QIRO_OK, QIRO_END, QIRO_ERROR, QIRO_EXITING };

/*
 * A long line is read in large blocks, and the stream then set back just
 * past its end, only where a seek lands exactly where it is asked to: on a
 * regular file, or where the caller knows it does.
 */
enum qiro_seeking { QIRO_SEEK_IF_FILE, QIRO_SEEK_EXACT };

/*
 * Both read in with stdio's unlocked calls: the caller holds in's lock
 * (flockfile) or is its only user.
 *
 * qiro_read_line feeds the next line of in, without its '\n', to p,
 * straight from stdio's buffer. QIRO_OK when a line was read (a last line
 * with no '\n' too), QIRO_END when in held nothing more, QIRO_ERROR on a
 * read error, with errno set. A long line on a stdin that cannot seek
 * exactly gives stdin a larger buffer, which it keeps.
 */
qiro_status qiro_read_line(FILE *in, qiro_parser *p, qiro_seeking seeking);

/* Why a line that is not a whole number was refused; NULL for one that is. */
const char *qiro_reason(qiro_verdict verdict);

/*
 * Writes s to err, after what err holds already, and flushes it; where err
 * has a descriptor, straight to it and whole, whatever interrupts it, and
 * never setting err's error indicator.
 */
void qiro_say(FILE *err, const char *s);

/* True for a whole number; otherwise tells err why the line was refused. */
bool qiro_accepts(FILE *err, qiro_verdict verdict);

/*
 * Writes prompt to err and reads lines from in until one is a whole number,
 * telling err why each other line is not. QIRO_OK with *value set, or how
 * the input ran out.
 */
qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, int *value,
		     qiro_seeking seeking);

#endif
