/*
 * The terminal a call edits at: the editor's mode entered and left, the
 * signals that must find the caller's settings in place, and the bytes
 * written to the terminal. One call at a time: the caller holds stdin's
 * lock, or is its only user.
 */
#ifndef QIRO_TERM_H
#define QIRO_TERM_H

#include <stddef.h>
#include <stdio.h>

#include "line.h"

/* in and err are one terminal (either may be /dev/tty), and TERM is set
 * and not "dumb". */
bool qiro_term_usable(FILE *in, FILE *err);

enum qiro_term_start {
	QIRO_TERM_EDIT, QIRO_TERM_PLAIN, QIRO_TERM_FAILED,
	QIRO_TERM_EXIT, /* another thread is ending the process: no call */
};

/*
 * Waits until this process is in the terminal's foreground, stopped
 * meanwhile as any reader in the background is. Then, where the caller's
 * settings are canonical and echo, takes the signals and enters the
 * editor's mode: QIRO_TERM_EDIT. QIRO_TERM_PLAIN where the line is to be
 * read as it comes; QIRO_TERM_FAILED with errno set.
 */
qiro_term_start qiro_term_begin(FILE *in, FILE *err);

/* Gives back the caller's settings and signals; a cancellation cleanup
 * too, and run with cancellation disabled (it closes descriptors). */
void qiro_term_end(void *unused);

/* What qiro_term_wait gives. */
enum {
	QIRO_TERM_FAILED_WAIT = -1,	/* errno set */
	QIRO_TERM_READY = 0,		/* a byte can be read without waiting */
	QIRO_TERM_REDRAW = 1,		/* the row was lost: draw it again */
	QIRO_TERM_TIMEOUT = 2,		/* nothing came for timeout ms */
	QIRO_TERM_EXITING = 3,		/* another thread is ending the process */
};

/* After QIRO_TERM_EXITING, with stdin let go: waits for the process to
 * end. Never returns. */
[[noreturn]] void qiro_term_park(void);

/*
 * Waits for a key, in the editor's mode: taken again first where a signal
 * or a stop left it, and only in the foreground. timeout is in ms, or -1.
 */
int qiro_term_wait(FILE *in, int timeout);

/* The bytes typed that the terminal holds, not read yet. */
size_t qiro_term_unread(void);

/* Bytes stdio has read from the terminal and not handed out yet. */
bool qiro_term_buffered(FILE *in);

/* Writes all of s to fd, whatever interrupts it: a signal's handler, a
 * descriptor the caller made non-blocking. */
void qiro_write(int fd, const void *s, size_t n);

/* qiro_write to the terminal, from its foreground only: false, with a
 * redraw asked for, from the background. */
bool qiro_term_write(const void *s, size_t n);

/* The caller's terminal keys, from its settings as last read, as its line
 * mode takes them: 0 for none (intr, quit and susp where it sends no
 * signals, werase without IEXTEN). */
void qiro_term_keys(unsigned char keys[QIRO_KEYS]);

/* Shows key c as the caller's terminal would, and sends sig to the
 * terminal's foreground process group, as the terminal would. */
void qiro_term_send(int sig, int c);

/* The row is drawn anew: a redraw asked for until now is done. */
void qiro_term_drawn(void);

/* The terminal's width in columns. */
size_t qiro_term_width(void);

#endif
