/* Reading lines from a stream and asking until a whole number comes. */
#ifndef QIRO_READ_H
#define QIRO_READ_H

#include <limits.h>
#include <stdio.h>

#include "parse.h"

/* QIRO_EOF: the input has ended. QIRO_EXITING: another thread is ending
 * the process; the call is not to return to its caller. */
enum qiro_status { QIRO_OK, QIRO_EOF, QIRO_ERROR, QIRO_EXITING };

/* The whole numbers a call takes: min to max. */
struct qiro_range {
	int min, max;
};

static const qiro_range qiro_any = {INT_MIN, INT_MAX};

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
 * with no '\n' too), QIRO_EOF when in held nothing more, QIRO_ERROR on a
 * read error, with errno set. A long line on a stdin that cannot seek
 * exactly gives stdin a larger buffer, which it keeps.
 */
qiro_status qiro_read_line(FILE *in, qiro_parser *p, qiro_seeking seeking);

/* The parser's verdict on a line, and its number, within r: a number
 * outside r is out of range. */
qiro_verdict qiro_judge(qiro_verdict verdict, int value, qiro_range r);

/* Why a line was refused, as a line of text (out of range says r, in
 * buf); NULL for a number. */
enum { QIRO_REASON_MAX = 80 };
const char *qiro_reason(qiro_verdict verdict, qiro_range r,
			char buf[QIRO_REASON_MAX]);

/*
 * Writes s to err, after what err holds already, and flushes it; where err
 * has a descriptor, straight to it and whole, whatever interrupts it, and
 * never setting err's error indicator.
 */
void qiro_say(FILE *err, const char *s);

/* The prompt's last line, after its last newline: "" for none, or NULL.
 * Where it is not empty, a call that gives no number ends its row. */
const char *qiro_last_line(const char *prompt);

/*
 * Writes prompt to err and reads lines from in until one is a whole number
 * within r, telling err why each other line is not. QIRO_OK with *value
 * set, or how the input ran out, the prompt's row ended.
 */
qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, qiro_range r,
		     int *value, qiro_seeking seeking);

#endif
