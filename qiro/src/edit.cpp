/*
 * get_int at a terminal: the keys read go to the line (line.cpp), and the
 * row it gives is drawn after the prompt, with nothing but VT100's cursor
 * and erase sequences. Bytes come through stdio, so what is typed past a
 * line stays in stdin for the next call or the caller. The terminal itself
 * and the signals are term.cpp's.
 *
 * The row is drawn from its start column each time, so that what a
 * terminal did to it (a resize, a stop) is mended by the next draw. That
 * column is where the terminal's cursor stands after the prompt: asked of
 * the terminal once a call (ESC [6n), as the caller may have written to
 * the row before, and otherwise counted from the prompt. Until a late
 * answer comes, the row is drawn by moves from where the cursor is, which
 * keeps whatever stands before it.
 */
#include "edit.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "line.h"
#include "parse.h"
#include "stdio_buffer.h"
#include "term.h"

/* The keys that send these, in the order qiro_term_signal_keys gives. */
static const int signals[] = {SIGINT, SIGQUIT, SIGTSTP};

/*
 * How long a terminal has to say where its cursor is before the row is
 * drawn without knowing; and before the call returns, so that the answer
 * does not reach whoever reads next. A terminal that does not answer that
 * long is not asked again.
 */
enum { ANSWER_MS = 200, OWED_MS = 1000 };

/* Whether the terminal was asked where the cursor is, and why. */
enum asked { NOT, AT_START, AFTER_RESIZE };

/* What next_byte gives beside bytes. */
enum { END = -1, FAILED = -2, REDRAW = -3, TIMEOUT = -4, EXITING = -5 };

enum { CTRL_D = 4 };

/* Earlier lines, shared by all calls; guarded by stdin's lock, as are
 * the answer still to come and a terminal found not to answer. */
static struct qiro_history history;
static bool owed, silent;

struct edit {
	FILE *in;
	const char *prompt;	/* its last line, which a redraw writes */
	size_t prompt_cols;
	size_t origin;		/* the column that line begins at */
	size_t start;		/* and the line being edited */
	size_t width;		/* the terminal's, at the last draw */
	size_t cursor;		/* the cursor's column, after the last draw */
	enum asked asked;
	bool dirty;		/* the line changed since it was drawn */
	bool stale;		/* the row may have been wrapped: erase below */
	bool own_row;		/* the line is on the row after the prompt's */
	bool guessed;		/* start counted; the terminal's answer late */
	bool ending;		/* Enter taken: no more questions */
	size_t skip, ahead;	/* bytes read earlier, and typed before the
				   editor's mode */
	struct qiro_line line;
	struct qiro_row row;
	char out[512];
	size_t out_len;
};

static void flush_out(struct edit *e)
{
	qiro_term_write(e->out, e->out_len);
	e->out_len = 0;
}

static void put(struct edit *e, const char *s, size_t n)
{
	while (n > 0) {
		if (e->out_len == sizeof e->out)
			flush_out(e);
		size_t k = sizeof e->out - e->out_len;
		k = n < k ? n : k;
		memmove(e->out + e->out_len, s, k);
		e->out_len += k;
		s += k;
		n -= k;
	}
}

static void put_s(struct edit *e, const char *s)
{
	put(e, s, strlen(s));
}

/* ESC [ n letter, for a move of n > 0. */
static void move(struct edit *e, size_t n, char letter)
{
	char seq[32];
	if (n > 0)
		put(e, seq, (size_t)snprintf(seq, sizeof seq, "\x1b[%zu%c", n,
					     letter));
}

/* To column col of the cursor's row. */
static void go_to(struct edit *e, size_t col)
{
	if (e->guessed) {
		move(e, col < e->cursor ? e->cursor - col : 0, 'D');
		move(e, col > e->cursor ? col - e->cursor : 0, 'C');
	} else {
		put_s(e, "\r");
		move(e, col, 'C');
	}
	e->cursor = col;
}

/* Where the prompt's last line ends at width, from where it began; *row,
 * if wanted, where in it its last row begins. */
static size_t prompt_end(const struct edit *e, size_t width, size_t *row)
{
	return qiro_prompt_end(e->prompt, e->origin, width, row);
}

/* The line begins end columns after the row's start: where the prompt
 * ends, or on a row of its own. */
static void place(struct edit *e, size_t end)
{
	e->width = qiro_term_width();
	e->start = qiro_line_start(end, e->width, &e->own_row);
	if (e->own_row)
		put_s(e, "\r\n");
	e->cursor = e->start;
	e->dirty = true;
}

/* The bytes stdio holds, read into it first where it holds none: one
 * taken and given back. NULL where none could be read. */
static const char *peek(FILE *in, size_t *n)
{
	const char *s = qiro_buffered(in, n);
	if (!s) {
		int c = getc_unlocked(in);
		if (c != EOF && ungetc(c, in) != EOF)
			s = qiro_buffered(in, n);
	}
	return s;
}

/*
 * Whether keys typed ahead, which the terminal's answer comes after, may
 * end the call before it (Enter or Ctrl-D among them, or more than stdio
 * holds once it has read) or be taken for it (an escape sequence).
 */
static bool may_end_first(struct edit *e)
{
	size_t n;
	if (!qiro_term_buffered(e->in) && qiro_term_unread() == 0)
		return false;
	const char *s = peek(e->in, &n);
	return !s || qiro_term_unread() > 0 || memchr(s, '\r', n) ||
	       memchr(s, '\n', n) || memchr(s, CTRL_D, n) || memchr(s, 0, n) ||
	       memchr(s, '\x1b', n);
}

/* Asks where the cursor is, where the answer comes within the call and
 * can be told from keys (not byte by byte, through an unbuffered stdin). */
static void ask_position(struct edit *e, enum asked why)
{
	if (silent || owed || e->ending || qiro_unbuffered(e->in) ||
	    may_end_first(e))
		return;
	put_s(e, "\x1b[6n");
	flush_out(e);
	e->asked = why;
	owed = true;
}

/*
 * Draws the row: the window of the line from the start column, erasing
 * what was after it (below it too after a resize, where a terminal may
 * have wrapped the row), and the cursor in it. Narrowed past the cursor,
 * a terminal is first asked where the cursor went.
 */
static void refresh(struct edit *e)
{
	size_t width = qiro_term_width();
	if (width != e->width) {
		if (width < e->width && e->cursor >= width && !e->asked) {
			ask_position(e, AFTER_RESIZE);
			if (e->asked)
				return;
		}
		e->width = width;
		e->stale = true;
		bool own_row;
		size_t start = qiro_line_start(prompt_end(e, width, nullptr),
					       width, &own_row);
		if (e->own_row && !own_row) { /* back after the prompt */
			put_s(e, "\r\x1b[K\x1b[A");
			e->cursor = 0;
			e->start = start;
			e->own_row = false;
		}
	}
	qiro_line_row(&e->line, width > e->start ? width - e->start : 0, &e->row);
	go_to(e, e->start);
	put(e, e->row.text, e->row.len);
	put_s(e, e->stale ? "\x1b[J" : "\x1b[K");
	e->cursor = e->start + e->row.cols;
	go_to(e, e->start + e->row.cursor);
	flush_out(e);
	e->dirty = e->stale = false;
}

/*
 * The prompt's last row again, on the row the cursor is on, then the line
 * (the whole prompt only when the call begins), after the row was lost: a
 * stop, a handler of the caller's, Ctrl-L (the screen cleared first: the
 * whole prompt).
 */
static void redraw(struct edit *e, bool clear)
{
	size_t from;
	if (clear) {
		put_s(e, "\x1b[H\x1b[2J");
		e->origin = 0;
	}
	size_t end = prompt_end(e, qiro_term_width(), &from);
	if (clear)
		from = 0;
	/* Where the cursor went is not known: from the row's start. */
	e->guessed = false;
	go_to(e, from ? 0 : e->origin);
	put_s(e, "\x1b[J");
	put_s(e, e->prompt + from);
	place(e, end);
	e->asked = NOT;
	e->stale = true;
	refresh(e);
}

/*
 * The terminal's answer, 0 for none. At the start: the column the line
 * begins at. After the row was narrowed past the cursor: the prompt's row
 * drawn anew where the cursor went. A terminal that wrapped the row again
 * moved it down a row for each new width it stood past; up those rows
 * first, but where it stands in the last column, where a terminal that
 * cut the row short leaves it too.
 */
static void answered(struct edit *e, unsigned column)
{
	size_t width = qiro_term_width();
	enum asked why = e->asked;
	e->asked = NOT;
	e->dirty = true;
	if (why == AT_START && column > 0) {
		size_t col = column - 1 < width ? column - 1 : width - 1;
		if (e->guessed) { /* drawn already, from col */
			go_to(e, e->start);
			put_s(e, "\x1b[K");
			e->guessed = false;
		}
		e->origin = col >= e->prompt_cols ? col - e->prompt_cols : 0;
		place(e, col);
	} else if (why == AFTER_RESIZE) {
		if (column > 0 && column - 1 == e->cursor % width &&
		    column < width)
			move(e, e->cursor / width, 'A');
		redraw(e, false);
	}
}

/* The answer, or none (0), to a question that may have timed out: the
 * start column's is good however late, as the terminal answers in turn. */
static void late_answer(struct edit *e, unsigned column)
{
	if (e->guessed)
		e->asked = AT_START;
	if (e->asked)
		answered(e, column);
}

/*
 * The next byte typed, or END, FAILED (errno set), REDRAW, TIMEOUT or
 * EXITING. The line is drawn when no more keys are waiting, so a paste is
 * drawn once, and not while the terminal is asked where the cursor is.
 */
static int next_byte(struct edit *e)
{
	int c;
	for (;;) {
		if (e->dirty && !e->asked && !qiro_term_buffered(e->in))
			refresh(e);
		switch (qiro_term_wait(e->in, e->asked ? ANSWER_MS : -1)) {
		case QIRO_TERM_FAILED_WAIT:
			return FAILED;
		case QIRO_TERM_REDRAW:
			return REDRAW;
		case QIRO_TERM_TIMEOUT:
			return TIMEOUT;
		case QIRO_TERM_EXITING:
			return EXITING;
		}
		if ((c = getc_unlocked(e->in)) != EOF) {
			if (e->skip > 0) {
				e->skip--;
			} else if (e->ahead > 0) {
				e->ahead--;
				if (c == 0)
					return CTRL_D;
			}
			return c;
		}
		if (!ferror_unlocked(e->in))
			return END;
		if (errno != EINTR && errno != EAGAIN)
			return FAILED;
		clearerr_unlocked(e->in);
	}
}

/* The length of a cursor report (ESC [ row ; column R) that s begins
 * with, in full, and its column; 0 for none. */
static size_t report_length(const char *s, size_t n, unsigned *column)
{
	size_t i = 2;
	if (n < 6 || s[0] != '\x1b' || s[1] != '[')
		return 0;
	for (int field = 0; field < 2; field++) {
		size_t digits = 0;
		for (*column = 0; i < n && s[i] >= '0' && s[i] <= '9'; i++)
			if (++digits < 6)
				*column = *column * 10 + (unsigned)(s[i] - '0');
		if (digits == 0 || i == n || s[i++] != (field ? 'R' : ';'))
			return 0;
	}
	return i;
}

/*
 * The call ends before the terminal's answer came: it is taken if it comes
 * next, where it lies in stdio's buffer, so that neither it nor what
 * follows is left for the next reader or taken from it.
 */
static void await_answer(struct edit *e)
{
	size_t n, len = 0;
	unsigned column = 0;
	const char *s = qiro_buffered(e->in, &n);
	if (!s) {
		int event = qiro_term_wait(e->in, OWED_MS);
		if (event == QIRO_TERM_TIMEOUT)
			silent = true;
		if (event == QIRO_TERM_READY)
			s = peek(e->in, &n);
	}
	if (s && (len = report_length(s, n, &column)) > 0)
		qiro_take(e->in, len);
	owed = owed && !len && !silent;
	late_answer(e, column);
}

/* Ctrl-C, Ctrl-\ and Ctrl-Z, read in their place among the keys: their
 * signal goes where the terminal would send it. If the process goes on,
 * the line is dropped after Ctrl-C and Ctrl-\, as the terminal drops its
 * own, and kept after Ctrl-Z. */
static void deliver(struct edit *e, int sig, unsigned char key)
{
	size_t pos = e->line.pos;
	e->line.pos = e->line.len; /* the echo goes after the line */
	if (!e->asked)
		refresh(e);
	e->line.pos = pos;
	e->dirty = true;
	qiro_term_send(sig, key);
	if (sig != SIGTSTP) {
		qiro_term_drawn(); /* what a handler of the caller's wrote too */
		qiro_line_begin(&e->line, &history);
		put_s(e, "\r\n");
		e->origin = 0;
		redraw(e, false);
	}
}

/* Reads keys until Enter: QIRO_OK with the line in e->line, or how input
 * ran out (Ctrl-D on an empty line is its end, as at the terminal). */
static qiro_status edit_line(struct edit *e)
{
	for (;;) {
		int c = next_byte(e);
		switch (c) {
		case END:
			return QIRO_END;
		case FAILED:
			return QIRO_ERROR;
		case EXITING:
			return QIRO_EXITING;
		case TIMEOUT:
			e->guessed = e->asked == AT_START;
			answered(e, 0);
			continue;
		case REDRAW:
			qiro_term_signal_keys(e->line.signal_keys);
			redraw(e, false);
			continue;
		}
		switch (qiro_line_key(&e->line, (unsigned char)c)) {
		case QIRO_LINE_NONE:
			e->dirty = true;
			break;
		case QIRO_LINE_ENTER:
			if (owed)
				await_answer(e);
			e->ending = true;
			e->line.pos = e->line.len;
			refresh(e);
			put_s(e, "\r\n");
			flush_out(e);
			return QIRO_OK;
		case QIRO_LINE_END:
			if (owed)
				await_answer(e);
			return QIRO_END;
		case QIRO_LINE_CLEAR:
			redraw(e, true);
			break;
		case QIRO_LINE_SIGNAL:
			for (int k = 0; k < 3; k++)
				if (e->line.key == e->line.signal_keys[k]) {
					deliver(e, signals[k], e->line.key);
					break;
				}
			break;
		case QIRO_LINE_POSITION:
			owed = false;
			late_answer(e, e->line.column);
			break;
		}
	}
}

/* Asks until a line is a whole number. A line refused as too long is not
 * kept for Up: it is not the line that was typed. */
static qiro_status ask(struct edit *e, const char *prompt, int *value)
{
	for (;;) {
		qiro_line_begin(&e->line, &history);
		qiro_term_signal_keys(e->line.signal_keys);
		e->asked = NOT;
		e->guessed = e->ending = false;
		put_s(e, prompt);
		e->origin = 0;
		place(e, prompt_end(e, qiro_term_width(), nullptr));
		flush_out(e);
		ask_position(e, AT_START);

		qiro_status s = edit_line(e);
		if (s != QIRO_OK)
			return s;
		const struct qiro_line *l = &e->line;
		qiro_verdict v = QIRO_NOT_NUMBER;
		if (!l->too_long) {
			qiro_history_add(&history, l->buf, l->len);
			v = qiro_parse_line(l->buf, l->len, value);
			if (v == QIRO_NUMBER)
				return QIRO_OK;
		}
		put_s(e, l->too_long ? "line too long, enter a whole number\n"
				     : qiro_reason(v));
		flush_out(e);
	}
}

bool qiro_can_edit(FILE *in, FILE *err)
{
	return qiro_term_usable(in, err);
}

/* The call, from the prompt to the answer, with everything given back
 * however it ends, a cancel too. */
static qiro_status edit(struct edit *e, const char *prompt, int *value)
{
	qiro_status s;
	int cancel;
	pthread_cleanup_push(qiro_term_end, nullptr);
	s = ask(e, prompt, value);
	/* Closing the terminal's pipe must not be cut short by a cancel. */
	pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel);
	pthread_cleanup_pop(1);
	pthread_setcancelstate(cancel, nullptr);
	return s;
}

qiro_status qiro_edit(FILE *in, FILE *err, const char *prompt, int *value)
{
	static struct edit e; /* one call at a time: stdin's lock */

	switch (qiro_term_begin(in, err)) {
	case QIRO_TERM_PLAIN:
		return qiro_ask(in, err, prompt, value, QIRO_SEEK_IF_FILE);
	case QIRO_TERM_FAILED:
		return QIRO_ERROR;
	case QIRO_TERM_EXIT:
		return QIRO_EXITING;
	case QIRO_TERM_EDIT:
		break;
	}
	prompt = prompt ? prompt : "";
	const char *nl = strrchr(prompt, '\n');
	e.in = in;
	e.prompt = nl ? nl + 1 : prompt;
	e.prompt_cols = qiro_prompt_columns(e.prompt);
	e.out_len = 0;
	e.stale = false;
	/* Ctrl-D typed ahead at the terminal's own line editing comes as a
	 * NUL once the editor's mode is on: among the bytes the terminal
	 * holds now, after those stdio read before. */
	e.skip = 0;
	qiro_buffered(in, &e.skip);
	e.ahead = qiro_term_unread();
	/* Whatever the caller left in stderr's buffer comes first. */
	qiro_flush(err);
	return edit(&e, prompt, value);
}
