/*
 * The line being edited at a terminal: the bytes typed change it, escape
 * sequences decoded here, and it gives the window of itself that a row
 * shows. No I/O: edit.cpp reads the keys and draws the row.
 */
#ifndef QIRO_LINE_H
#define QIRO_LINE_H

#include <stddef.h>

/* The longest line: the terminal's own line limit. */
enum { QIRO_LINE_MAX = 4095 };

/* Lines given at earlier prompts, oldest first, back to back. */
enum { QIRO_HISTORY_LINES = 100, QIRO_HISTORY_BYTES = 16384 };
struct qiro_history {
	char bytes[QIRO_HISTORY_BYTES];
	unsigned short len[QIRO_HISTORY_LINES];
	size_t lines, used;
};

/*
 * The caller's own terminal keys, each 0 for none, as its line mode would
 * take them: the first three send a signal; erase, kill and werase act as
 * Backspace, Ctrl-U and Ctrl-W; eof ends the input on an empty line and
 * deletes as Ctrl-D elsewhere. They come before the editor's fixed keys,
 * which stay, but for Ctrl-D's end of input, which is eof's alone.
 */
enum qiro_key {
	QIRO_KEY_INTR, QIRO_KEY_QUIT, QIRO_KEY_SUSP,
	QIRO_KEY_ERASE, QIRO_KEY_KILL, QIRO_KEY_WERASE, QIRO_KEY_EOF,
	QIRO_KEYS
};

/* What a byte asks of the caller, beside what it does to the line. */
enum qiro_line_event {
	QIRO_LINE_NONE,
	QIRO_LINE_ENTER,	/* take the line */
	QIRO_LINE_END,		/* eof on an empty line: the end of input */
	QIRO_LINE_CLEAR,	/* Ctrl-L: clear the screen, draw again */
	QIRO_LINE_SIGNAL,	/* intr, quit or susp, its qiro_key in key */
	QIRO_LINE_POSITION,	/* the terminal's cursor report, in column */
};

struct qiro_line {
	char buf[QIRO_LINE_MAX];	/* the line shown: typed, or recalled */
	size_t len, pos;		/* its bytes, and the cursor's place */
	bool too_long;			/* bytes dropped since it last shrank */
	struct qiro_history *history;
	int hist;			/* the earlier line shown, 0 the newest;
					   -1 the line typed */
	char typed[QIRO_LINE_MAX];	/* the line typed, while hist >= 0 */
	size_t typed_len;
	unsigned char keys[QIRO_KEYS];	/* the caller's, by enum qiro_key */
	unsigned char state;		/* of an escape sequence being read */
	unsigned char skip;		/* UTF-8 bytes of an Alt key to come */
	bool plain;			/* no private or intermediate bytes */
	unsigned params, value[2];	/* numbers in it, and the first two */
	unsigned char key;		/* with QIRO_LINE_SIGNAL */
	unsigned column;		/* with QIRO_LINE_POSITION, from 1 */
	size_t first;			/* where the row's window begins */
};

/* The row: what room columns show of the line, and the cursor. */
struct qiro_row {
	char text[QIRO_LINE_MAX + 2];	/* with < and > where text is hidden */
	size_t len, cols, cursor;	/* bytes, columns, columns before it */
};

void qiro_line_begin(struct qiro_line *l, struct qiro_history *h);

/* The next byte typed. */
enum qiro_line_event qiro_line_key(struct qiro_line *l, unsigned char c);

/*
 * The window of the line that room columns of a row show, the cursor in
 * it, never reaching the last column (so the row never wraps): the whole
 * line where it fits, else as much as fits around the cursor, from where
 * the last window began if the cursor is still in it. Characters take the
 * columns terminals give them; bytes that are not a character, and a mark
 * with nothing to go on, show as '?'.
 */
void qiro_line_row(struct qiro_line *l, size_t room, struct qiro_row *row);

/*
 * The column a line begins at, cols after a row width wide began (where
 * the prompt ends; a prompt wider than the row wraps): 0 on the next row
 * (*next_row set) where that would leave the line fewer than 8 columns.
 */
size_t qiro_line_start(size_t cols, size_t width, bool *next_row);

/*
 * Keeps a line given at a prompt for Up to bring back: not an empty one,
 * nor the newest again. The oldest go to make room.
 */
void qiro_history_add(struct qiro_history *h, const char *s, size_t n);

/* The columns a prompt's last line takes: escape sequences none, a tab to
 * the next multiple of 8, each character what terminals give it. */
size_t qiro_prompt_columns(const char *prompt);

/* The column a prompt's last line ends at, written from column from of
 * rows width wide, and in *row (if not null) where in its bytes its last
 * row begins. */
size_t qiro_prompt_end(const char *prompt, size_t from, size_t width,
		       size_t *row);

#endif
