/*
 * get_int at a terminal: the keys read go to the line (line.cpp), and the
 * row it gives is drawn after the prompt, with nothing but VT100's cursor
 * and erase sequences. Bytes come through stdio, so what is typed past a
 * line stays in stdin for the next call or the caller. The terminal itself
 * and the signals are term.cpp's.
 *
 * The row is drawn from its start column each time, so that what a
 * terminal did to it (a resize, a stop) is mended by the next draw. That
 * column is where the terminal's cursor stands after the prompt, counted
 * from the prompt; but the caller may have written to the row before the
 * call's first prompt. Until that is known, the row is drawn by moves from
 * where the cursor is, which keeps whatever stands before it, and only as
 * wide as a whole number. The terminal is asked where its cursor is (ESC
 * [6n) only when the line grows wider, or the prompt leaves less room,
 * where the answer can change the row: an answer as long as a number sends
 * no question and waits for none.
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

/* What intr, quit and susp send, by their qiro_key. */
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

/* The row's room where its start is not known: "-2147483648" and the
 * cursor after it, which may stand in the row's last column, as no text
 * is ever written there. */
static const size_t NUMBER_ROOM = 12;

/* What next_byte gives beside bytes. */
enum { END = -1, FAILED = -2, REDRAW = -3, TIMEOUT = -4, EXITING = -5 };

/*
 * Earlier lines, shared by all calls; guarded by stdin's lock, as are the
 * answer still to come, a terminal found not to answer, and the bytes
 * typed at the terminal's line mode that the last call left in stdio's
 * buffer, where a NUL is its eof key: where they lay, and how many.
 */
static struct qiro_history history;
static bool owed, silent;
static struct {
	const char *at, *end;
	size_t n;
} carry;

struct edit {
	FILE *in, *err;
	const char *prompt;	/* its last line, which a redraw writes */
	size_t prompt_cols;
	size_t origin;		/* the column that line begins at, if known */
	size_t start;		/* and the line being edited */
	size_t width;		/* the terminal's, at the last draw */
	size_t cursor;		/* the cursor's column, after the last draw */
	size_t asked_at;	/* and when the terminal was asked */
	enum asked asked;	/* a question the row waits for */
	bool known;		/* the origin is known; else counted from 0, and
				   the row drawn by moves from the cursor */
	bool start_owed;	/* AT_START's answer counts however late */
	bool dirty;		/* the line changed since it was drawn */
	bool stale;		/* the row may have been wrapped: erase below */
	bool own_row;		/* the line is on the row after the prompt's */
	bool ending;		/* Enter taken: no more questions */
	bool shown;		/* something of the call reached the terminal */
	size_t carried, skip;	/* bytes stdio held when the call began, from
				   the terminal's line mode, then the rest */
	size_t ahead;		/* bytes typed before the editor's mode */
	struct qiro_line line;
	struct qiro_row row;
	char out[512];
	size_t out_len;
};

/* False where nothing could be written: in the background. */
static bool flush_out(struct edit *e)
{
	bool written = qiro_term_write(e->out, e->out_len);
	e->shown |= written && e->out_len > 0;
	e->out_len = 0;
	return written;
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
	if (!e->known) {
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

/* The columns from the line's start its row may take: where the row's
 * start is not known, no more than a number's, so that text before the
 * prompt never makes the row wrap where a number fits after the prompt. */
static size_t room(const struct edit *e, size_t width)
{
	size_t room = width > e->start ? width - e->start : 0;
	return e->known || room < NUMBER_ROOM ? room : NUMBER_ROOM;
}

static void ask_position(struct edit *e, enum asked why);

/*
 * The line begins end columns after the row's start: where the prompt
 * ends, or on a row of its own. A prompt that leaves the line little room
 * where the row's start is not known asks the terminal where it is; with
 * no answer to wait for, the line takes a row of its own.
 */
static void place(struct edit *e, size_t end)
{
	e->width = qiro_term_width();
	e->start = qiro_line_start(end, e->width, &e->own_row);
	e->cursor = e->start;
	if (!e->own_row && !e->known && room(e, e->width) < NUMBER_ROOM) {
		ask_position(e, AT_START);
		e->own_row = !e->asked;
	}
	if (e->own_row) {
		put_s(e, "\r\n");
		e->cursor = e->start = 0;
		e->known = true;
	}
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
 * end the call before it (Enter or eof among them, or more than stdio
 * holds once it has read) or be taken for it (an escape sequence).
 */
static bool may_end_first(struct edit *e)
{
	size_t n;
	if (!qiro_term_buffered(e->in) && qiro_term_unread() == 0)
		return false;
	const char *s = peek(e->in, &n);
	return !s || qiro_term_unread() > 0 || memchr(s, '\r', n) ||
	       memchr(s, '\n', n) || memchr(s, e->line.keys[QIRO_KEY_EOF], n) ||
	       memchr(s, 0, n) || memchr(s, '\x1b', n);
}

/* Asks where the cursor is, where the answer comes within the call and
 * can be told from keys (not byte by byte, through an unbuffered stdin);
 * not again in a process whose terminal did not answer, nor from the
 * background, where the question is not written. */
static void ask_position(struct edit *e, enum asked why)
{
	if (silent || owed || e->ending || qiro_unbuffered(e->in) ||
	    may_end_first(e))
		return;
	put_s(e, "\x1b[6n");
	if (!flush_out(e))
		return;
	e->asked = why;
	e->asked_at = e->cursor;
	e->start_owed = why == AT_START;
	owed = true;
}

/*
 * Draws the row: the window of the line from the start column, erasing
 * what was after it (below it too after a resize, where a terminal may
 * have wrapped the row), and the cursor in it. Narrowed past the cursor,
 * a terminal is first asked where the cursor went; a row that fills the
 * room it has before its start is known, where it starts.
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
	qiro_line_row(&e->line, room(e, width), &e->row);
	if (!e->known && e->row.cols + 1 >= room(e, width)) {
		ask_position(e, AT_START);
		if (e->asked)
			return;
	}
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
	/* Where the cursor went is not known: from the row's start, which an
	 * answer to a question asked before no longer tells. */
	e->known = true;
	e->start_owed = false;
	go_to(e, from ? 0 : e->origin);
	put_s(e, "\x1b[J");
	put_s(e, e->prompt + from);
	place(e, end);
	e->asked = NOT;
	e->stale = true;
	refresh(e);
}

/*
 * The terminal's answer, 0 for none in time. To AT_START, however late:
 * where the line begins, from where the cursor stood when asked; what was
 * drawn before is erased. With none, the line stays where it was counted
 * to begin, or takes a row of its own. To AFTER_RESIZE: the prompt's row
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
	if (why == AFTER_RESIZE) {
		if (column > 0 && column - 1 == e->cursor % width &&
		    column < width)
			move(e, e->cursor / width, 'A');
		redraw(e, false);
	} else if (e->start_owed && column > 0) {
		size_t col = column - 1 < width ? column - 1 : width - 1;
		size_t drawn = e->asked_at - e->start;
		size_t end = col > drawn ? col - drawn : 0;
		go_to(e, e->start);
		put_s(e, "\x1b[K");
		e->known = true;
		e->start_owed = false;
		e->origin = end >= e->prompt_cols ? end - e->prompt_cols : 0;
		place(e, end);
	} else if (why == AT_START) {
		go_to(e, e->start);
		place(e, e->start);
	}
}

/*
 * The next byte typed, or END, FAILED (errno set), REDRAW, TIMEOUT or
 * EXITING. The line is drawn when no more keys are waiting, so a paste is
 * drawn once, and not while the terminal is asked where the cursor is. A
 * NUL typed at the terminal's line mode, before the editor took it, is the
 * eof key typed there.
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
			bool line_mode = e->carried > 0 ||
					 (e->skip == 0 && e->ahead > 0);
			if (e->carried > 0)
				e->carried--;
			else if (e->skip > 0)
				e->skip--;
			else if (e->ahead > 0)
				e->ahead--;
			if (line_mode && c == 0 && e->line.keys[QIRO_KEY_EOF])
				return e->line.keys[QIRO_KEY_EOF];
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
	answered(e, column);
}

/* intr, quit and susp (qiro_key k), read in their place among the keys:
 * their signal goes where the terminal would send it. If the process goes
 * on, the line is dropped after intr and quit, as the terminal drops its
 * own, and kept after susp. */
static void deliver(struct edit *e, int k)
{
	size_t pos = e->line.pos;
	e->line.pos = e->line.len; /* the echo goes after the line */
	if (!e->asked)
		refresh(e);
	e->line.pos = pos;
	e->dirty = true;
	qiro_term_send(signals[k], e->line.keys[k]);
	if (k != QIRO_KEY_SUSP) {
		qiro_term_drawn(); /* what a handler of the caller's wrote too */
		qiro_line_begin(&e->line, &history);
		put_s(e, "\r\n");
		e->origin = 0;
		redraw(e, false);
	}
}

/* Reads keys until Enter: QIRO_OK with the line in e->line, or how input
 * ran out (eof on an empty line is its end, as at the terminal). */
static qiro_status edit_line(struct edit *e)
{
	for (;;) {
		int c = next_byte(e);
		switch (c) {
		case END:
			return QIRO_EOF;
		case FAILED:
			return QIRO_ERROR;
		case EXITING:
			return QIRO_EXITING;
		case TIMEOUT:
			answered(e, 0);
			continue;
		case REDRAW:
			qiro_term_keys(e->line.keys);
			redraw(e, false);
			continue;
		}
		switch (qiro_line_key(&e->line, (unsigned char)c)) {
		case QIRO_LINE_NONE:
			e->dirty = true;
			break;
		case QIRO_LINE_ENTER:
			e->ending = true;
			if (owed)
				await_answer(e);
			e->line.pos = e->line.len;
			refresh(e);
			put_s(e, "\r\n");
			flush_out(e);
			return QIRO_OK;
		case QIRO_LINE_END:
			e->ending = true;
			if (owed)
				await_answer(e);
			return QIRO_EOF;
		case QIRO_LINE_CLEAR:
			redraw(e, true);
			break;
		case QIRO_LINE_SIGNAL:
			deliver(e, e->line.key);
			break;
		case QIRO_LINE_POSITION:
			owed = false;
			answered(e, e->line.column);
			break;
		}
	}
}

/*
 * Where the call gives no number, a newline ends the row the prompt and
 * line were shown on, if they were and the cursor is not at its start. On
 * an error, from the background too: a message may follow.
 */
static void end_row(struct edit *e, qiro_status s)
{
	int err = errno;
	bool open = *e->prompt && !(e->own_row && e->line.len == 0);
	if (s == QIRO_ERROR && open && e->shown) {
		qiro_say(e->err, "\r\n");
	} else if (s == QIRO_EOF && open) {
		put_s(e, "\r\n");
		flush_out(e);
	}
	errno = err;
}

/*
 * Asks until a line is a whole number. The first prompt's row may hold the
 * caller's text before it, unless the prompt begins a row of its own; a
 * prompt asked again follows a reason's newline. A line refused as too
 * long is not kept for Up: it is not the line that was typed.
 */
static qiro_status ask(struct edit *e, const char *prompt, qiro_range r,
		       int *value)
{
	bool known = e->prompt != prompt;
	for (;;) {
		qiro_line_begin(&e->line, &history);
		qiro_term_keys(e->line.keys);
		e->asked = NOT;
		e->known = known;
		e->start_owed = e->ending = false;
		put_s(e, prompt);
		e->origin = 0;
		place(e, prompt_end(e, qiro_term_width(), nullptr));
		flush_out(e);

		qiro_status s = edit_line(e);
		if (s != QIRO_OK) {
			end_row(e, s);
			return s;
		}
		const struct qiro_line *l = &e->line;
		qiro_verdict v = QIRO_NOT_NUMBER;
		int got = 0;
		if (!l->too_long) {
			qiro_history_add(&history, l->buf, l->len);
			v = qiro_parse_line(l->buf, l->len, &got);
			v = qiro_judge(v, got, r);
			if (v == QIRO_NUMBER) {
				*value = got;
				return QIRO_OK;
			}
		}
		char buf[QIRO_REASON_MAX];
		put_s(e, l->too_long ? "line too long, enter a whole number\n"
				     : qiro_reason(v, r, buf));
		flush_out(e);
		known = true;
	}
}

bool qiro_can_edit(FILE *in, FILE *err)
{
	return qiro_term_usable(in, err);
}

/*
 * Of the bytes stdio holds, how many the last call left there of those
 * typed at the terminal's line mode: where the caller has read some since,
 * fewer, and none where stdio has read anew.
 */
static size_t carried(const char *s, size_t n)
{
	if (!s || s + n != carry.end || s < carry.at || s >= carry.at + carry.n)
		return 0;
	return (size_t)(carry.at + carry.n - s);
}

/* What the call leaves in stdio's buffer of the bytes typed at the line
 * mode: first the rest of those it found there, else of those the
 * terminal held when the editor took it. */
static void leave_carried(const struct edit *e)
{
	size_t n = 0;
	const char *s = qiro_buffered(e->in, &n);
	carry.at = s;
	carry.end = s + n;
	carry.n = e->carried   ? e->carried
		  : e->skip > 0 ? 0
		  : e->ahead < n ? e->ahead
				 : n;
}

/* The call, from the prompt to the answer, with everything given back
 * however it ends, a cancel too. */
static qiro_status edit(struct edit *e, const char *prompt, qiro_range r,
			int *value)
{
	qiro_status s;
	int cancel;
	pthread_cleanup_push(qiro_term_end, nullptr);
	s = ask(e, prompt, r, value);
	leave_carried(e);
	/* Closing the terminal's pipe must not be cut short by a cancel. */
	pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel);
	pthread_cleanup_pop(1);
	pthread_setcancelstate(cancel, nullptr);
	return s;
}

qiro_status qiro_edit(FILE *in, FILE *err, const char *prompt, qiro_range r,
		      int *value)
{
	static struct edit e; /* one call at a time: stdin's lock */

	switch (qiro_term_begin(in, err)) {
	case QIRO_TERM_PLAIN:
		return qiro_ask(in, err, prompt, r, value, QIRO_SEEK_IF_FILE);
	case QIRO_TERM_FAILED:
		return QIRO_ERROR;
	case QIRO_TERM_EXIT:
		return QIRO_EXITING;
	case QIRO_TERM_EDIT:
		break;
	}
	prompt = prompt ? prompt : "";
	e.in = in;
	e.err = err;
	e.shown = false;
	e.prompt = qiro_last_line(prompt);
	e.prompt_cols = qiro_prompt_columns(e.prompt);
	e.out_len = 0;
	e.stale = false;
	/* The eof key typed at the terminal's line mode comes as a NUL once
	 * the editor's mode is on: among the bytes the terminal holds now,
	 * and those of them an earlier call left in stdio's buffer. */
	size_t n = 0;
	const char *s = qiro_buffered(in, &n);
	e.carried = carried(s, n);
	e.skip = n - e.carried;
	e.ahead = qiro_term_unread();
	/* Whatever the caller left in stderr's buffer comes first. */
	qiro_flush(err);
	return edit(&e, prompt, r, value);
}
