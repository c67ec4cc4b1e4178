/*
 * A small line editor for get_int at a terminal. The line is redrawn in
 * place after the prompt, on the prompt's row, scrolling sideways when it
 * is wider than the row, with nothing but VT100's cursor and erase
 * sequences. Bytes come through stdio, so what is typed past a line stays
 * in stdin for the next call or the caller. The terminal itself and the
 * signals are term.cpp's.
 */
#include "edit.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>

#include "parse.h"
#include "stdio_buffer.h"
#include "term.h"

#define CONTROL(c) ((c) & 0x1f)

/* What read_key gives beside bytes: END and FAILED when input stops,
 * REDRAW when the row was lost. */
enum {
	END = -1, FAILED = -2, REDRAW = -3,
	KEY_NONE = 256, KEY_LEFT, KEY_RIGHT, KEY_HOME, KEY_END, KEY_DELETE,
	KEY_UP, KEY_DOWN,
};

/* Earlier lines are kept for the process, within these bounds. */
enum { HISTORY_LINES = 100, HISTORY_BYTES = 16384 };

/* Earlier lines, oldest first, back to back; guarded by stdin's lock. */
static struct {
	char bytes[HISTORY_BYTES];
	unsigned short len[HISTORY_LINES];
	size_t lines, used;
} history;

struct line {
	FILE *in;
	const char *prompt;
	size_t prompt_cols;
	char *buf;		/* typed, or recalled while hist >= 0 */
	size_t len, pos;	/* bytes in buf, and the cursor's place */
	bool too_long;		/* bytes past QIRO_LINE_MAX were dropped */
	size_t first;		/* the first byte shown: a long line scrolls */
	size_t drawn;		/* columns from the line's start to the cursor */
	bool dirty;		/* changed since it was drawn */
	int hist;		/* the earlier line shown, 0 the newest, or -1 */
	char typed[QIRO_LINE_MAX], recalled[QIRO_LINE_MAX];
	size_t typed_len;	/* while hist >= 0 */
	int pending;		/* a byte read past an escape sequence, or -1 */
	char out[256];
	size_t out_len;
};

static void flush_out(struct line *l)
{
	qiro_term_write(l->out, l->out_len);
	l->out_len = 0;
}

static void put(struct line *l, const void *s, size_t n)
{
	const char *c = (const char *)s;
	while (n > 0) {
		if (l->out_len == sizeof l->out)
			flush_out(l);
		size_t k = sizeof l->out - l->out_len;
		k = n < k ? n : k;
		memmove(l->out + l->out_len, c, k);
		l->out_len += k;
		c += k;
		n -= k;
	}
}

static void put_s(struct line *l, const char *s)
{
	put(l, s, strlen(s));
}

static void cursor_back(struct line *l, size_t cols)
{
	char seq[32];
	if (cols > 0)
		put(l, seq, (size_t)snprintf(seq, sizeof seq, "\x1b[%zuD", cols));
}

/*
 * Bytes in the character at s, n bytes before the line's end: a
 * well-formed UTF-8 sequence (no overlong form, surrogate or value past
 * U+10FFFF), or else one byte. Each character takes one column.
 */
static size_t char_len(const unsigned char *s, size_t n)
{
	size_t len = s[0] < 0xc2 ? 1 : s[0] < 0xe0 ? 2 : s[0] < 0xf0 ? 3
		   : s[0] < 0xf5 ? 4 : 1;
	if (len == 1 || len > n)
		return 1;
	unsigned lo = s[0] == 0xe0 ? 0xa0 : s[0] == 0xf0 ? 0x90 : 0x80;
	unsigned hi = s[0] == 0xed ? 0x9f : s[0] == 0xf4 ? 0x8f : 0xbf;
	if (s[1] < lo || s[1] > hi)
		return 1;
	for (size_t k = 2; k < len; k++)
		if ((s[k] & 0xc0) != 0x80)
			return 1;
	return len;
}

static size_t next_char(const struct line *l, size_t i)
{
	const unsigned char *s = (const unsigned char *)l->buf;
	return i < l->len ? i + char_len(s + i, l->len - i) : i;
}

static size_t prev_char(const struct line *l, size_t i)
{
	const unsigned char *s = (const unsigned char *)l->buf;
	size_t j = i - 1;
	while (j > 0 && i - j < 4 && (s[j] & 0xc0) == 0x80)
		j--;
	return char_len(s + j, l->len - j) == i - j ? j : i - 1;
}

static size_t columns(const struct line *l, size_t from, size_t to)
{
	size_t cols = 0;
	for (; from < to; from = next_char(l, from))
		cols++;
	return cols;
}

/* Writes one character, or '?' for a byte that is not one a terminal
 * shows as it is (a stray UTF-8 byte, a C1 control). */
static void show(struct line *l, size_t i, size_t n)
{
	const unsigned char *s = (const unsigned char *)l->buf + i;
	if ((n == 1 && s[0] >= 0x80) || (s[0] == 0xc2 && s[1] < 0xa0))
		put(l, "?", 1);
	else
		put(l, s, n);
}

/*
 * Redraws the line after the prompt: as much as fits on the row, from
 * first, which moves so that the cursor is shown. The cursor goes back to
 * the line's start from where it was drawn, so the prompt is not written
 * again, and the row is never filled to its last column, so it never
 * wraps.
 */
static void refresh(struct line *l)
{
	size_t room = qiro_term_width();
	room = room > l->prompt_cols + 1 ? room - l->prompt_cols - 1 : 1;
	if (l->pos < l->first)
		l->first = l->pos;
	size_t cursor = columns(l, l->first, l->pos);
	for (; cursor >= room; cursor--)
		l->first = next_char(l, l->first);

	cursor_back(l, l->drawn);
	size_t cols = 0;
	for (size_t i = l->first; i < l->len && cols < room; cols++) {
		size_t n = next_char(l, i) - i;
		show(l, i, n);
		i += n;
	}
	put_s(l, "\x1b[K");
	cursor_back(l, cols - cursor);
	l->drawn = cursor;
	l->dirty = false;
	flush_out(l);
}

/* The prompt and the line once more, after the row was lost: on a new
 * row, or (Ctrl-L) on a cleared screen. */
static void redraw(struct line *l, bool clear)
{
	put_s(l, clear ? "\x1b[H\x1b[2J" : "\r\x1b[K");
	if (l->prompt)
		put_s(l, l->prompt);
	l->drawn = 0;
	refresh(l);
}

/*
 * The next byte typed, or END, FAILED (errno set) or REDRAW. The line is
 * drawn when no more keys are waiting, so a paste is drawn once.
 */
static int next_byte(struct line *l)
{
	int c = l->pending;
	if (c >= 0) {
		l->pending = -1;
		return c;
	}
	for (;;) {
		if (l->dirty && !qiro_term_buffered(l->in))
			refresh(l);
		int event = qiro_term_wait(l->in);
		if (event == QIRO_TERM_FAILED_WAIT)
			return FAILED;
		if (event == QIRO_TERM_REDRAW)
			return REDRAW;
		if ((c = getc_unlocked(l->in)) != EOF)
			return c;
		if (!ferror_unlocked(l->in))
			return END;
		if (errno != EINTR && errno != EAGAIN)
			return FAILED;
		clearerr_unlocked(l->in);
	}
}

static int arrow(int c)
{
	switch (c) {
	case 'A': return KEY_UP;
	case 'B': return KEY_DOWN;
	case 'C': return KEY_RIGHT;
	case 'D': return KEY_LEFT;
	case 'H': return KEY_HOME;
	case 'F': return KEY_END;
	}
	return KEY_NONE;
}

/* ESC [, parameters, intermediates and a final byte, read whole. */
static int csi(struct line *l)
{
	char param = 0;
	size_t params = 0;
	bool plain = true;
	int c;

	while ((c = next_byte(l)) >= 0x30 && c <= 0x3f)
		if (params++ == 0)
			param = (char)c;
	for (; c >= 0x20 && c <= 0x2f; c = next_byte(l))
		plain = false;
	if (c < 0)
		return c;
	if (c < 0x40 || c > 0x7e) { /* cut short: the byte is a key */
		l->pending = c;
		return KEY_NONE;
	}
	if (plain && params == 0)
		return arrow(c);
	if (plain && params == 1 && c == '~') {
		switch (param) {
		case '1': case '7': return KEY_HOME;
		case '4': case '8': return KEY_END;
		case '3': return KEY_DELETE;
		}
	}
	return KEY_NONE;
}

/* The next key: a byte, KEY_* for an escape sequence, or END or FAILED.
 * An escape sequence that is not known is read whole and ignored. */
static int read_key(struct line *l)
{
	int c = next_byte(l);
	if (c != 0x1b)
		return c;
	c = next_byte(l);
	if (c == '[')
		return csi(l);
	if (c == 'O') {
		c = next_byte(l);
		return c < 0 ? c : arrow(c);
	}
	return c < 0 ? c : KEY_NONE; /* ESC and a key: Alt with it */
}

/* A new line, with nothing of it drawn yet. */
static void clear_line(struct line *l)
{
	l->buf = l->typed;
	l->len = l->pos = l->first = l->drawn = 0;
	l->too_long = false;
	l->hist = -1;
	l->dirty = false;
}

/*
 * Ctrl-C, Ctrl-\ and Ctrl-Z, read in their place among the keys: their
 * signal goes where the terminal would send it. If the process goes on,
 * the line is dropped after Ctrl-C and Ctrl-\, as the terminal drops its
 * own, and kept after Ctrl-Z.
 */
static void deliver(struct line *l, int sig, int key)
{
	if (l->dirty)
		refresh(l);
	qiro_term_send(sig, key);
	if (sig != SIGTSTP) {
		clear_line(l);
		put_s(l, "\n");
	}
	redraw(l, false);
}

static void insert(struct line *l, char c)
{
	if (l->len == QIRO_LINE_MAX) {
		l->too_long = true;
		return;
	}
	memmove(l->buf + l->pos + 1, l->buf + l->pos, l->len - l->pos);
	l->buf[l->pos++] = c;
	l->len++;
	l->dirty = true;
}

static void cut(struct line *l, size_t from, size_t to)
{
	memmove(l->buf + from, l->buf + to, l->len - to);
	l->len -= to - from;
	l->pos = from;
	l->dirty = true;
}

static void move_to(struct line *l, size_t pos)
{
	l->dirty = l->dirty || pos != l->pos;
	l->pos = pos;
}

/* Where Ctrl-W cuts from: the blanks before the cursor, then the word.
 * (A line holds no tab: Tab inserts a blank.) */
static size_t word_start(const struct line *l)
{
	size_t i = l->pos;
	while (i > 0 && l->buf[i - 1] == ' ')
		i--;
	while (i > 0 && l->buf[i - 1] != ' ')
		i--;
	return i;
}

static void remember(const char *s, size_t n)
{
	size_t last = history.lines ? history.len[history.lines - 1] : 0;
	if (n == 0 || (n == last && memcmp(history.bytes + history.used - n,
					   s, n) == 0))
		return;
	while (history.lines == HISTORY_LINES ||
	       history.used + n > HISTORY_BYTES) {
		size_t drop = history.len[0];
		memmove(history.bytes, history.bytes + drop, history.used - drop);
		memmove(history.len, history.len + 1,
			--history.lines * sizeof *history.len);
		history.used -= drop;
	}
	memmove(history.bytes + history.used, s, n);
	history.len[history.lines++] = (unsigned short)n;
	history.used += n;
}

/* Up (older, +1) and Down (newer, -1), and back to the line typed. */
static void step_history(struct line *l, int step)
{
	int to = l->hist + step;
	if (to < -1 || to >= (int)history.lines)
		return;
	if (l->hist < 0)
		l->typed_len = l->len;
	if (to < 0) {
		l->buf = l->typed;
		l->len = l->typed_len;
	} else {
		size_t at = history.used, i = history.lines;
		for (int k = 0; k <= to; k++)
			at -= history.len[--i];
		l->buf = l->recalled;
		l->len = history.len[i];
		memmove(l->buf, history.bytes + at, l->len);
	}
	l->pos = l->len;
	l->hist = to;
	l->dirty = true;
}

/* Reads keys until Enter: QIRO_OK with the line in l, or how input ran
 * out (Ctrl-D on an empty line is its end, as at the terminal). */
static qiro_status edit_line(struct line *l)
{
	for (;;) {
		int key = read_key(l), sig = qiro_term_signal(key);
		if (sig) {
			deliver(l, sig, key);
			continue;
		}
		switch (key) {
		case END:
			return QIRO_END;
		case FAILED:
			return QIRO_ERROR;
		case REDRAW:
			redraw(l, false);
			break;
		case '\r':
		case '\n':
			move_to(l, l->len);
			if (l->dirty)
				refresh(l);
			put_s(l, "\n");
			flush_out(l);
			return QIRO_OK;
		case CONTROL('D'):
			if (l->len == 0)
				return QIRO_END;
			[[fallthrough]];
		case KEY_DELETE:
			cut(l, l->pos, next_char(l, l->pos));
			break;
		case CONTROL('H'):
		case 0x7f:
			if (l->pos > 0)
				cut(l, prev_char(l, l->pos), l->pos);
			break;
		case CONTROL('A'):
		case KEY_HOME:
			move_to(l, 0);
			break;
		case CONTROL('E'):
		case KEY_END:
			move_to(l, l->len);
			break;
		case CONTROL('B'):
		case KEY_LEFT:
			if (l->pos > 0)
				move_to(l, prev_char(l, l->pos));
			break;
		case CONTROL('F'):
		case KEY_RIGHT:
			move_to(l, next_char(l, l->pos));
			break;
		case CONTROL('U'):
			cut(l, 0, l->pos);
			break;
		case CONTROL('K'):
			cut(l, l->pos, l->len);
			break;
		case CONTROL('W'):
			cut(l, word_start(l), l->pos);
			break;
		case CONTROL('P'):
		case KEY_UP:
			step_history(l, 1);
			break;
		case CONTROL('N'):
		case KEY_DOWN:
			step_history(l, -1);
			break;
		case CONTROL('L'):
			redraw(l, true);
			break;
		case '\t':
			insert(l, ' ');
			break;
		default: /* other control characters and keys are ignored */
			if (key >= 0x20 && key < 0x100 && key != 0x7f)
				insert(l, (char)key);
		}
	}
}

/* Columns the prompt's last row takes. */
static size_t prompt_columns(const char *prompt)
{
	size_t cols = 0;
	for (const unsigned char *c = (const unsigned char *)prompt; *c; c++)
		if (*c == '\n')
			cols = 0;
		else if (*c >= 0x20 && (*c & 0xc0) != 0x80)
			cols++;
	return cols;
}

static qiro_status ask(struct line *l, int *value)
{
	for (;;) {
		clear_line(l);
		if (l->prompt)
			put_s(l, l->prompt);
		flush_out(l);

		qiro_status s = edit_line(l);
		if (s != QIRO_OK)
			return s;
		qiro_verdict v = QIRO_NOT_NUMBER;
		if (!l->too_long) {
			remember(l->buf, l->len);
			v = qiro_parse_line(l->buf, l->len, value);
			if (v == QIRO_NUMBER)
				return QIRO_OK;
		}
		put_s(l, l->too_long ? "line too long, enter a whole number\n"
				     : qiro_reason(v));
	}
}

bool qiro_can_edit(FILE *in, FILE *err)
{
	return qiro_term_usable(in, err);
}

qiro_status qiro_edit(FILE *in, FILE *err, const char *prompt, int *value)
{
	struct line l;
	l.in = in;
	l.prompt = prompt;
	l.prompt_cols = prompt ? prompt_columns(prompt) : 0;
	l.pending = -1;
	l.out_len = 0;

	switch (qiro_term_begin(in, err)) {
	case QIRO_TERM_PLAIN:
		return qiro_ask(in, err, prompt, value, QIRO_SEEK_IF_FILE);
	case QIRO_TERM_FAILED:
		return QIRO_ERROR;
	case QIRO_TERM_EDIT:
		break;
	}
	/* Whatever the caller left in stderr's buffer comes first. */
	qiro_flush(err);
	qiro_status s;
	int cancel;
	pthread_cleanup_push(qiro_term_end, nullptr);
	s = ask(&l, value);
	/* Closing the terminal's pipe must not be cut short by a cancel. */
	pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancel);
	pthread_cleanup_pop(1);
	pthread_setcancelstate(cancel, nullptr);
	return s;
}
