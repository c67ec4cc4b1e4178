/*
 * The line being edited, the keys that change it and the window a row
 * shows of it. A character is a code point and the marks that follow it
 * (the zero-width code points): the cursor moves, and Backspace deletes,
 * a character at a time.
 *
 * memmove, never memcpy: memcpy would make every program that loads the
 * library check one more glibc symbol version at start.
 */
#include "line.h"

#include <stdint.h>
#include <string.h>

#include "width.h"

#define CONTROL(c) ((c) & 0x1f)

/* The states of an escape sequence being read. */
enum { GROUND, ESCAPE, CSI, SS3, ALT };

/* Keys beside bytes, from escape sequences. */
enum { KEY_NONE = 256, KEY_LEFT, KEY_RIGHT, KEY_HOME, KEY_END, KEY_DELETE,
       KEY_UP, KEY_DOWN, KEY_POSITION };

/* A well-formed UTF-8 sequence at s, n bytes before the end: its length,
 * with *c set; 0 for none (an overlong form, a surrogate, past U+10FFFF). */
static size_t decode(const unsigned char *s, size_t n, uint32_t *c)
{
	unsigned b = s[0];
	if (b < 0x80) {
		*c = b;
		return 1;
	}
	size_t len = b < 0xc2 ? 0 : b < 0xe0 ? 2 : b < 0xf0 ? 3 : b < 0xf5 ? 4 : 0;
	if (len == 0 || len > n)
		return 0;
	unsigned lo = b == 0xe0 ? 0xa0 : b == 0xf0 ? 0x90 : 0x80;
	unsigned hi = b == 0xed ? 0x9f : b == 0xf4 ? 0x8f : 0xbf;
	if (s[1] < lo || s[1] > hi)
		return 0;
	uint32_t v = b & (0x7f >> len);
	for (size_t k = 1; k < len; k++) {
		if ((s[k] & 0xc0) != 0x80)
			return 0;
		v = v << 6 | (s[k] & 0x3f);
	}
	*c = v;
	return len;
}

/* The columns of the code point at s, with *len its bytes; -1 for what a
 * row cannot show as it is: a control, or a byte that is no character. */
static int glyph(const unsigned char *s, size_t n, size_t *len)
{
	uint32_t c;
	if ((*len = decode(s, n, &c)) == 0) {
		*len = 1;
		return -1;
	}
	if (c < 0x20 || (c >= 0x7f && c < 0xa0))
		return -1;
	return qiro_width(c);
}

static const unsigned char *bytes(const struct qiro_line *l)
{
	return (const unsigned char *)l->buf;
}

/*
 * Where the character at i ends, and its columns. *odd for one shown as
 * '?': a control, a byte that is no character, or a mark with nothing
 * before it to go on.
 */
static size_t next(const struct qiro_line *l, size_t i, size_t *cols,
		   bool *odd)
{
	size_t len;
	int w = glyph(bytes(l) + i, l->len - i, &len);
	*odd = w <= 0;
	*cols = *odd ? 1 : (size_t)w;
	for (i += len; i < l->len && glyph(bytes(l) + i, l->len - i, &len) == 0;
	     i += len) {
	}
	return i;
}

/* The character boundary at or before i: characters are found from the
 * line's start, as bytes inserted or cut may join or part them anywhere. */
static size_t boundary(const struct qiro_line *l, size_t i)
{
	size_t b = 0, cols;
	bool odd;
	while (b < l->len) {
		size_t n = next(l, b, &cols, &odd);
		if (n > i)
			break;
		b = n;
	}
	return b;
}

/* Where the character the cursor is in, or the next one, ends. */
static size_t next_char(const struct qiro_line *l, size_t i)
{
	size_t cols, b = boundary(l, i);
	bool odd;
	return b < l->len ? next(l, b, &cols, &odd) : b;
}

static size_t prev_char(const struct qiro_line *l, size_t i)
{
	return i > 0 ? boundary(l, i - 1) : 0;
}

void qiro_line_begin(struct qiro_line *l, struct qiro_history *h)
{
	l->len = l->pos = l->first = 0;
	l->too_long = false;
	l->history = h;
	l->hist = -1;
	l->state = GROUND;
}

/* A line that cannot take more keeps what it has, and says so at Enter. */
static void insert(struct qiro_line *l, char c)
{
	if (l->len == QIRO_LINE_MAX) {
		l->too_long = true;
		return;
	}
	memmove(l->buf + l->pos + 1, l->buf + l->pos, l->len - l->pos);
	l->buf[l->pos++] = c;
	l->len++;
}

/* Once shorter, the line is judged as it is, what was dropped gone. */
static void cut(struct qiro_line *l, size_t from, size_t to)
{
	memmove(l->buf + from, l->buf + to, l->len - to);
	l->len -= to - from;
	l->pos = from;
	l->too_long = l->too_long && from == to;
}

/* Where Ctrl-W cuts from: the blanks before the cursor, then the word. */
static size_t word_start(const struct qiro_line *l)
{
	size_t i = l->pos;
	while (i > 0 && l->buf[i - 1] == ' ')
		i--;
	while (i > 0 && l->buf[i - 1] != ' ')
		i--;
	return i;
}

/* Up (older, +1) and Down (newer, -1), and back to the line typed. */
static void step_history(struct qiro_line *l, int step)
{
	const struct qiro_history *h = l->history;
	int to = l->hist + step;
	if (!h || to < -1 || to >= (int)h->lines)
		return;
	if (l->hist < 0) {
		memmove(l->typed, l->buf, l->len);
		l->typed_len = l->len;
	}
	if (to < 0) {
		memmove(l->buf, l->typed, l->typed_len);
		l->len = l->typed_len;
	} else {
		size_t at = h->used, i = h->lines;
		for (int k = 0; k <= to; k++)
			at -= h->len[--i];
		l->len = h->len[i];
		memmove(l->buf, h->bytes + at, l->len);
	}
	l->pos = l->len;
	l->hist = to;
	l->too_long = false;
}

void qiro_history_add(struct qiro_history *h, const char *s, size_t n)
{
	size_t last = h->lines ? h->len[h->lines - 1] : 0;
	if (n == 0 || n > QIRO_LINE_MAX ||
	    (n == last && memcmp(h->bytes + h->used - n, s, n) == 0))
		return;
	while (h->lines == QIRO_HISTORY_LINES ||
	       h->used + n > QIRO_HISTORY_BYTES) {
		size_t drop = h->len[0];
		memmove(h->bytes, h->bytes + drop, h->used - drop);
		memmove(h->len, h->len + 1, --h->lines * sizeof *h->len);
		h->used -= drop;
	}
	memmove(h->bytes + h->used, s, n);
	h->len[h->lines++] = (unsigned short)n;
	h->used += n;
}

static int arrow(unsigned char c)
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

/* The key a CSI sequence ending in c makes. */
static int csi_key(struct qiro_line *l, unsigned char c)
{
	if (!l->plain)
		return KEY_NONE;
	if (l->params == 0)
		return arrow(c);
	if (l->params == 1 && c == '~') {
		switch (l->value[0]) {
		case 1: case 7: return KEY_HOME;
		case 4: case 8: return KEY_END;
		case 3: return KEY_DELETE;
		}
	}
	if (l->params == 2 && c == 'R') {
		l->column = l->value[1];
		return KEY_POSITION;
	}
	return KEY_NONE;
}

/* A byte of a CSI sequence's parameters: numbers separated by ';'. */
static void csi_param(struct qiro_line *l, unsigned char c)
{
	if (l->params == 0)
		l->params = 1;
	if (c == ';') {
		l->params++;
	} else if (c >= '0' && c <= '9') {
		unsigned *v = l->params <= 2 ? &l->value[l->params - 1] : nullptr;
		if (v && *v < 100000)
			*v = *v * 10 + (c - '0');
	} else {
		l->plain = false; /* private: <, =, >, ? or : */
	}
}

/*
 * Decodes escape sequences: the key c completes, KEY_NONE while one goes
 * on (or for one not known, read whole and dropped), or c itself. A
 * control character or ESC cuts a sequence short: it is dropped, and the
 * byte is a key again. ESC and a printable key is Alt and that key: none.
 */
static int decode_key(struct qiro_line *l, unsigned char c)
{
	bool control = c < 0x20 || c == 0x7f;
	switch (l->state) {
	case ESCAPE:
		l->state = GROUND;
		if (control)
			break;
		if (c == '[' || c == 'O') {
			l->state = c == '[' ? CSI : SS3;
			l->plain = true;
			l->params = l->value[0] = l->value[1] = 0;
		} else if (c >= 0xc2 && c < 0xf5) {
			l->skip = c < 0xe0 ? 1 : c < 0xf0 ? 2 : 3;
			l->state = ALT;
		}
		return KEY_NONE;
	case CSI:
		if (c >= 0x20 && c < 0x40) {
			if (c < 0x30)
				l->plain = false; /* intermediate bytes */
			else
				csi_param(l, c);
			return KEY_NONE;
		}
		l->state = GROUND;
		if (control || c >= 0x7f)
			break;
		return csi_key(l, c);
	case SS3:
		l->state = GROUND;
		if (control || c >= 0x80)
			break;
		return arrow(c);
	case ALT:
		if ((c & 0xc0) == 0x80 && --l->skip > 0)
			return KEY_NONE;
		l->state = GROUND;
		if ((c & 0xc0) == 0x80)
			return KEY_NONE;
		break;
	}
	if (c == 0x1b) {
		l->state = ESCAPE;
		return KEY_NONE;
	}
	return c;
}

/* The qiro_key the caller's terminal makes of key; QIRO_KEYS for none. */
static int role(const struct qiro_line *l, int key)
{
	int k = 0;
	while (k < QIRO_KEYS && !(l->keys[k] && key == l->keys[k]))
		k++;
	return k;
}

enum qiro_line_event qiro_line_key(struct qiro_line *l, unsigned char c)
{
	int key = decode_key(l, c), k = role(l, key);
	switch (k) {
	case QIRO_KEY_INTR:
	case QIRO_KEY_QUIT:
	case QIRO_KEY_SUSP:
		l->key = (unsigned char)k;
		return QIRO_LINE_SIGNAL;
	case QIRO_KEY_ERASE:
		key = 0x7f;
		break;
	case QIRO_KEY_KILL:
		key = CONTROL('U');
		break;
	case QIRO_KEY_WERASE:
		key = CONTROL('W');
		break;
	case QIRO_KEY_EOF:
		if (l->len == 0)
			return QIRO_LINE_END;
		key = KEY_DELETE;
		break;
	}
	switch (key) {
	case KEY_NONE:
		break;
	case KEY_POSITION:
		return QIRO_LINE_POSITION;
	case '\r':
	case '\n':
		return QIRO_LINE_ENTER;
	case CONTROL('D'): /* the end of input is eof's */
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
		l->pos = 0;
		break;
	case CONTROL('E'):
	case KEY_END:
		l->pos = l->len;
		break;
	case CONTROL('B'):
	case KEY_LEFT:
		if (l->pos > 0)
			l->pos = prev_char(l, l->pos);
		break;
	case CONTROL('F'):
	case KEY_RIGHT:
		l->pos = next_char(l, l->pos);
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
		return QIRO_LINE_CLEAR;
	case '\t':
		insert(l, ' ');
		break;
	default: /* other control characters are ignored */
		if (key >= 0x20 && key != 0x7f)
			insert(l, (char)key);
	}
	return QIRO_LINE_NONE;
}

/* The columns from i to j, character boundaries. */
static size_t columns(const struct qiro_line *l, size_t i, size_t j)
{
	size_t cols = 0, w;
	bool odd;
	while (i < j) {
		i = next(l, i, &w, &odd);
		cols += w;
	}
	return cols;
}

/*
 * The window begins at a character boundary: the last one, unless the
 * cursor has gone left of it or out of sight to the right; and further
 * left as long as everything from there to the end fits. The markers
 * take a column each where there is room for them.
 */
static size_t window_start(struct qiro_line *l, size_t avail, bool marks)
{
	size_t first = boundary(l, l->first < l->pos ? l->first : l->pos);
	size_t end = l->pos < l->len ? next_char(l, l->pos) : l->len;
	size_t head = columns(l, first, end), tail = head + columns(l, end, l->len);
	size_t w, total = columns(l, 0, first) + tail;
	bool odd;

	for (;;) {
		size_t left = first > 0 && marks;
		if (left + tail <= avail ||
		    left + head + (end < l->len && marks) <= avail ||
		    first >= l->pos)
			break;
		first = next(l, first, &w, &odd);
		head -= w;
		tail -= w;
	}
	/* The furthest left that everything to the end still fits from. */
	for (size_t p = 0, before = 0; p < first; before += w) {
		if ((p > 0 && marks) + total - before <= avail)
			return p;
		p = next(l, p, &w, &odd);
	}
	return first;
}

void qiro_line_row(struct qiro_line *l, size_t room, struct qiro_row *row)
{
	size_t avail = room > 1 ? room - 1 : 0, w, len;
	bool marks = avail >= 3, odd;
	size_t first = l->first = window_start(l, avail, marks);
	size_t left = first > 0 && marks;
	size_t cols = left + columns(l, first, l->len), end = l->len;

	if (cols > avail) { /* what fits before a '>' */
		for (cols = left, end = first; end < l->len; end = len) {
			len = next(l, end, &w, &odd);
			if (cols + w + marks > avail)
				break;
			cols += w;
		}
		cols += marks;
	}
	row->len = 0;
	row->cols = cols;
	row->cursor = left;
	if (left)
		row->text[row->len++] = '<';
	for (size_t i = first; i < end;) {
		size_t n = next(l, i, &w, &odd);
		if (i < l->pos)
			row->cursor += w;
		if (odd) { /* '?' for the first code point; its marks go on it */
			glyph(bytes(l) + i, l->len - i, &len);
			row->text[row->len++] = '?';
			i += len;
		}
		memmove(row->text + row->len, l->buf + i, n - i);
		row->len += n - i;
		i = n;
	}
	if (end < l->len && marks)
		row->text[row->len++] = '>';
}

size_t qiro_line_start(size_t cols, size_t width, bool *next_row)
{
	size_t start = width ? cols % width : 0;
	if (cols > 0 && start == 0)
		start = width - 1; /* on the last column, waiting to wrap */
	*next_row = width - start <= 8;
	return *next_row ? 0 : start;
}

/* An escape sequence in a prompt: CSI, OSC up to BEL or ST, or ESC, its
 * intermediates (ESC ( B) and a character; its length. */
static size_t escape_length(const unsigned char *s)
{
	size_t i = 1;
	if (s[i] == '[') {
		while (s[++i] && (s[i] < 0x40 || s[i] > 0x7e)) {
		}
		return s[i] ? i + 1 : i;
	}
	if (s[i] == ']') {
		while (s[++i] && s[i] != 7 && !(s[i] == 0x1b && s[i + 1] == '\\')) {
		}
		return !s[i] ? i : s[i] == 7 ? i + 1 : i + 2;
	}
	while (s[i] >= 0x20 && s[i] <= 0x2f)
		i++;
	return s[i] ? i + 1 : i;
}

/* Without wrapping (width 0), the columns the prompt's last line takes.
 * A character too wide for what is left of a row goes to the next, and a
 * tab stops at the last column. */
size_t qiro_prompt_end(const char *prompt, size_t from, size_t width,
		       size_t *row)
{
	const unsigned char *s = (const unsigned char *)prompt;
	size_t n = strlen(prompt), len, cols = from, last = 0;
	for (size_t i = 0; i < n; i += len) {
		len = 1;
		if (s[i] == '\n' || s[i] == '\r') {
			cols = 0;
			last = i + 1;
		} else if (s[i] == '\t') {
			cols = (cols / 8 + 1) * 8;
			if (width && cols >= width)
				cols = width - 1;
		} else if (s[i] == '\b') {
			cols -= cols > 0;
		} else if (s[i] == 0x1b) {
			len = escape_length(s + i);
		} else {
			int g = glyph(s + i, n - i, &len);
			size_t w = g < 0 ? (s[i] >= 0x80) : (size_t)g;
			if (width && cols + w > width) {
				cols = 0;
				last = i;
			}
			cols += w;
		}
	}
	if (row)
		*row = last;
	return cols;
}

size_t qiro_prompt_columns(const char *prompt)
{
	return qiro_prompt_end(prompt, 0, 0, nullptr);
}
