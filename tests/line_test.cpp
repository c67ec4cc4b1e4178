#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>

#include "line.h"
#include "width.h"

namespace {

struct Width {
	uint32_t c;
	int columns;
};

/* The edges of ranges of each kind, and what a line most often holds. */
const Width widths[] = {
	{' ', 1}, {'7', 1}, {'~', 1}, {0xA0, 1}, {0xE9, 1}, /* é */
	{0xAD, 1}, /* SOFT HYPHEN: a format character that terminals draw */
	{'e', 1}, {0x2FF, 1}, {0x300, 0}, {0x301, 0}, {0x36F, 0}, {0x370, 1},
	{0x20DD, 0}, /* an enclosing mark */
	{0x61C, 0}, {0x2060, 0}, {0x2065, 0}, /* format, unassigned ignorable */
	{0x200A, 1}, {0x200B, 0}, {0x200F, 0}, {0x2010, 1},
	{0x10FF, 1}, {0x1100, 2}, {0x115F, 2}, /* leading consonants */
	{0x1160, 0}, {0x11A8, 0}, {0x11FF, 0}, {0x1200, 1}, /* joining jamo */
	{0x3131, 2}, {0x3164, 0}, {0xFFA0, 0}, /* jamo on their own, fillers */
	{0xA960, 2}, {0xAC00, 2}, {0xD7A3, 2}, {0xD7A4, 1},
	{0xD7AF, 1}, {0xD7B0, 0}, {0xD7FF, 0},
	{0x2FFF, 1}, {0x3000, 2}, {0x3029, 2}, {0x302A, 0}, {0x302D, 0},
	{0x302E, 2}, {0x3099, 0}, /* marks among wide characters */
	{0x4E2D, 2}, {0x8DFF, 2}, {0x8E00, 2}, {0x9FFF, 2}, {0xA4C6, 2},
	{0xFE0E, 0}, {0xFE0F, 0}, {0xFE10, 2}, {0xFEFF, 0},
	{0xFF01, 2}, {0xFF11, 2}, {0xFF60, 2}, {0xFF61, 1}, {0xFFFD, 1},
	{0x231A, 2}, {0x1F1E6, 1}, {0x1F3FB, 2}, /* emoji presentation or not */
	{0x1F600, 2}, {0x1F64F, 2}, {0x1F650, 1},
	{0x20000, 2}, {0x2A6E0, 2}, {0x2FFFD, 2}, {0x2FFFE, 1}, /* planes 2, 3 */
	{0x30000, 2}, {0x3FFFD, 2}, {0x3FFFE, 1}, {0x40000, 1},
	{0xDFFFF, 1}, {0xE0001, 0}, {0xE0100, 0}, {0xE0FFF, 0}, {0xE1000, 1},
	{0xF0000, 1}, {0x10FFFF, 1}, {0x110000, 1}, {0xFFFFFFFF, 1},
};

TEST(Width, Columns)
{
	for (const Width &w : widths)
		EXPECT_EQ(qiro_width(w.c), w.columns) << std::hex << "U+" << w.c;
}

/* A prompt written from a column, on rows of a width: where in it the
 * last row begins, which a redraw writes again, and the column it ends at. */
struct PromptRow {
	std::string prompt;
	size_t from, width, row, end;
} prompt_rows[] = {
	{"x: ", 0, 80, 0, 3},
	{std::string(100, 'p') + "x: ", 0, 80, 80, 23},
	{std::string(75, 'p'), 8, 80, 72, 3},
	{std::string(78, 'p') + "\xe4\xb8\xadx", 0, 80, 81, 1}, /* fits, wraps */
	{std::string(79, 'p') + "\xe4\xb8\xad: ", 0, 80, 79, 4}, /* to the next */
	{std::string(77, 'p') + "\tb: ", 0, 80, 79, 2}, /* the tab stops at 79 */
	{"ab\tc", 3, 80, 0, 9}, /* tab stops count from the row's start */
	{"Enter\rx: ", 0, 80, 6, 3},
	{"\x1b]0;t\x1b\\x: ", 0, 80, 0, 3}, /* a title, ended by ESC \ */
	{"\x1b[1m" + std::string(90, 'p'), 0, 80, 84, 10},
	{"Enter\nx: ", 0, 80, 6, 3},
};

TEST(Prompt, Rows)
{
	for (const PromptRow &p : prompt_rows) {
		size_t row;
		EXPECT_EQ(qiro_prompt_end(p.prompt.c_str(), p.from, p.width, &row),
			  p.end) << p.prompt;
		EXPECT_EQ(row, p.row) << p.prompt;
	}
}

#define LEFT "\x1b[D"
#define RIGHT "\x1b[C"
#define UP "\x1b[A"
#define DOWN "\x1b[B"
#define HOME "\x1b[H"
#define END "\x1b[F"
#define DELETE "\x1b[3~"
#define CTRL(c) std::string(1, (c) & 0x1f)

/*
 * Keys in, and out the line (| at the cursor), the row after the prompt
 * (either "*": not checked), the cursor's column on it, what the keys asked for
 * (E Enter, D end, L redraw, S signal, P and a column: the cursor's
 * report), and whether bytes were dropped; at a terminal whose keys are
 * stty's (by enum qiro_key), Linux's own unless given. Enter keeps the line for Up
 * and begins another, as the editor does. The row is drawn after each key,
 * as at a person's typing, and the keys are typed again in two pieces,
 * split at every byte, with a row drawn between.
 */
struct Edit {
	std::string keys, line, row;
	size_t column;
	size_t width = 80;
	std::string prompt = "x: ";
	const char *events = "";
	bool too_long = false;
	std::string stty = "\x03\x1c\x1a\x7f\x15\x17\x04";
};

/* Linux's keys, but key k is c. */
std::string stty(int k, char c)
{
	std::string keys = Edit().stty;
	keys[k] = c;
	return keys;
}

std::string operator*(const std::string &s, size_t n)
{
	std::string r;
	while (n-- > 0)
		r += s;
	return r;
}

const std::string digits = "1234567890", nines = std::string(80, '9');

const Edit edits[] = {
	{"12" LEFT "3", "13|2", "132", 5},
	{"12\x1bOD3", "13|2", "132", 5}, /* Left as SS3 */
	{"12" + CTRL('B') + "3", "13|2", "132", 5},
	{"12" LEFT LEFT RIGHT "3", "13|2", "132", 5},
	{"12\x1bOD\x1bOC" + CTRL('A') + CTRL('F') + "3", "13|2", "132", 5},
	{"23" HOME "1", "1|23", "123", 4},
	{"23\x1bOH1", "1|23", "123", 4},
	{"23\x1b[1~1", "1|23", "123", 4},
	{"23\x1b[7~1", "1|23", "123", 4},
	{"23" + CTRL('A') + "1", "1|23", "123", 4},
	{"12" HOME END "3", "123|", "123", 6},
	{"12" HOME "\x1bOF3", "123|", "123", 6},
	{"12" HOME "\x1b[4~3", "123|", "123", 6},
	{"12" HOME "\x1b[8~3", "123|", "123", 6},
	{"12" HOME + CTRL('E') + "3", "123|", "123", 6},
	{"124\x7f" "3", "123|", "123", 6}, /* Backspace as DEL */
	{"124" + CTRL('H') + "3", "123|", "123", 6},
	{"1243" LEFT LEFT DELETE, "12|3", "123", 5},
	{"1243" LEFT LEFT + CTRL('D'), "12|3", "123", 5},
	{"12" HOME + CTRL('D'), "|2", "2", 3}, /* at the start, not the end */
	{"5512" LEFT LEFT + CTRL('U'), "|12", "12", 3},
	{"1299" LEFT LEFT + CTRL('K'), "12|", "12", 5},
	{"7 12  " + CTRL('W'), "7 |", "7 ", 5}, /* blanks, then the word */
	{"\t7\t", " 7 |", " 7 ", 6},	       /* Tab is a blank */
	/* Up and Down through earlier lines, refused ones too */
	{"4x5\r" UP LEFT "\x7f", "4|5", "45", 4, 80, "x: ", "E"},
	{"8x\r9" UP DOWN, "9|", "9", 4, 80, "x: ", "E"},
	{"8x\r9x\r" + CTRL('P') + CTRL('P') + CTRL('N'), "9x|", "9x", 5, 80,
	 "x: ", "EE"},
	{"8x\r9x\r" UP UP UP UP, "8x|", "8x", 5, 80, "x: ", "EE"},
	{"1\r\r" UP, "1|", "1", 4, 80, "x: ", "EE"}, /* no empty line kept */
	{"1\r1\r" UP UP, "1|", "1", 4, 80, "x: ", "EE"}, /* nor one again */
	/* characters: one at a time, marks with them, at their width */
	{"\xc3\xa9\x7f" "7", "7|", "7", 4},
	{"5\xe2\x82\xac" LEFT "4" + CTRL('E') + "\x7f", "54|", "54", 5},
	{"5\xf0\x9f\x98\x80" LEFT "4", "54|\xf0\x9f\x98\x80",
	 "54\xf0\x9f\x98\x80", 5},
	{"7e\xcc\x81" LEFT, "7|e\xcc\x81", "7e\xcc\x81", 4},
	{"7e\xcc\x81\x7f", "7|", "7", 4},
	{"\xef\xbc\x91\xef\xbc\x92\xef\xbc\x93\x7f\x7f\x7f" "42", "42|", "42", 5},
	{"1\xe4\xb8\xad" "2" LEFT, "1\xe4\xb8\xad|2", "1\xe4\xb8\xad" "2", 6},
	{"\xcc\x81" "7", "\xcc\x81" "7|", "?7", 5}, /* a mark with no base */
	{"\xff" "7\xc2\x85", "\xff" "7\xc2\x85|", "?7?", 6},
	/* escape sequences: cut short, the byte is a key again */
	{"12\x1b\x1b[D3", "13|2", "132", 5},
	{"12\x1b\x1bOP", "12|", "12", 5},
	{"12\x1b\r", "|", "", 3, 80, "x: ", "E"},
	{"12\x1b" + CTRL('C'), "12|", "12", 5, 80, "x: ", "S"},
	{"12\x1b[1" + CTRL('D') + "7", "127|", "127", 6},
	{"12\x1b[1\x7f", "1|", "1", 4},
	{"\x1bx7\x1b\xc3\xa9\x1b\xf0\x9f\x98\x80", "7|", "7", 4}, /* Alt and a key */
	{"\x1b[1;5C7\x1b[99~\x1b[?25h\x1b[5;2~\x1b[>1;2R", "7|", "7", 4},
	{std::string("\0\x07\x0f\x18" "7", 5), "7|", "7", 4},
	{CTRL('L') + CTRL('D') + "\x1b[5;12R", "|", "", 3, 80, "x: ", "LDP12"},
	/* the caller's keys, as stty set them, before the editor's own */
	{"99\x14" "7", "7|", "7", 4, 80, "x: ", "", false,
	 stty(QIRO_KEY_KILL, 0x14)},
	{"12@3", "3|", "3", 4, 80, "x: ", "", false, stty(QIRO_KEY_KILL, '@')},
	{"7 12\x14", "7 |", "7 ", 5, 80, "x: ", "", false,
	 stty(QIRO_KEY_WERASE, 0x14)},
	{"124\x18" "3", "123|", "123", 6, 80, "x: ", "", false,
	 stty(QIRO_KEY_ERASE, 0x18)},
	{"12\x07", "12|", "12", 5, 80, "x: ", "S", false,
	 stty(QIRO_KEY_INTR, 0x07)},
	/* eof ends input on an empty line, deletes elsewhere; Ctrl-D deletes */
	{"\x18" "12" LEFT "\x18" + CTRL('D'), "1|", "1", 4, 80, "x: ", "D", false,
	 stty(QIRO_KEY_EOF, 0x18)},
	{CTRL('D') + "7", "7|", "7", 4, 80, "x: ", "", false,
	 stty(QIRO_KEY_EOF, 0)},
	{std::string("12\0" "3", 4), "123|", "123", 6, 80, "x: ", "", false,
	 stty(QIRO_KEY_KILL, 0)}, /* a key set to none is no NUL */
	/* the bound: a line is judged as it stands at Enter */
	{std::string(4095, '1'), "*", "<" + std::string(75, '1'), 79, 80,
	 "x: "},
	{std::string(4096, '1'), "*", "*", 79, 80, "x: ", "", true},
	{std::string(4096, '1') + CTRL('K'), "*", "*", 79, 80, "x: ", "", true},
	{std::string(5000, '0') + CTRL('U') + "7", "7|", "7", 4},
	/* the window: the whole line where it fits, never the last column */
	{digits + nines + std::string(80, '\x7f'), "1234567890|", "1234567890",
	 13, 20},
	{std::string(100, '5') + std::string(60, '\x7f'),
	 "*", std::string(40, '5'), 43},
	{"1234567890abcd", "*", "<4567890abcd", 15, 16},
	{"1234567890abcd" HOME, "*", "1234567890a>", 3, 16},
	{"1234567890abcdefghij" HOME + std::string(RIGHT) * 14, "*",
	 "<67890abcde>", 13, 16},
	{"12345678901\xe4\xb8\xad", "*", "<345678901\xe4\xb8\xad", 15, 16},
	{"1234567890abcd", "*", "<4567890abcd", 15, 16, "\x1b[1mx\x1b[0m: "},
	{"1234567890abcd", "*", "<4567890abcd", 15, 16, "\x1b(Bx\x1b[m: "},
	{"1234567890abcd", "*", "<4567890abcd", 23, 24, "\tx: "},
	/* 8 columns left after the prompt: a row of its own; 9: not */
	{"1234567", "1234567|", "1234567", 7, 11},
	{"12345", "12345|", "12345", 8, 12},
	{"12345", "12345|", "<45", 3, 4}, /* room for the marks, just */
	{"12345", "12345|", "12345", 25, 80, std::string(100, 'p')},
	{"12345", "12345|", "12345", 5, 80, std::string(75, 'p')},
};

/* Feeds keys[from, to) as the editor does, and says what they asked;
 * draws the row after each key for a width given (as typed by hand). */
std::string feed(qiro_line *l, const std::string &keys, size_t from, size_t to,
		 size_t width = 0)
{
	std::string events;
	for (size_t i = from; i < to; i++) {
		if (width) {
			qiro_row row;
			qiro_line_row(l, width, &row);
		}
		switch (qiro_line_key(l, (unsigned char)keys[i])) {
		case QIRO_LINE_ENTER:
			events += 'E';
			if (!l->too_long)
				qiro_history_add(l->history, l->buf, l->len);
			qiro_line_begin(l, l->history);
			break;
		case QIRO_LINE_END: events += 'D'; break;
		case QIRO_LINE_CLEAR: events += 'L'; break;
		case QIRO_LINE_SIGNAL: events += 'S'; break;
		case QIRO_LINE_POSITION:
			events += 'P' + std::to_string(l->column);
			break;
		case QIRO_LINE_NONE: break;
		}
	}
	return events;
}

/* The row for a prompt of prompt_cols, and the cursor's column on it. */
std::string row_of(qiro_line *l, size_t width, size_t prompt_cols,
		   size_t *column)
{
	bool next_row;
	size_t start = qiro_line_start(prompt_cols, width, &next_row);
	qiro_row row;
	qiro_line_row(l, width - start, &row);
	EXPECT_LE(start + row.cols, width - 1) << "the row wraps";
	EXPECT_LE(start + row.cursor, width - 1);
	*column = start + row.cursor;
	return std::string(row.text, row.len);
}

TEST(Line, Keys)
{
	static qiro_history history;
	static qiro_line l;
	for (const Edit &e : edits) {
		SCOPED_TRACE(testing::PrintToString(e.keys.substr(0, 60)));
		size_t prompt = qiro_prompt_columns(e.prompt.c_str()), column;
		for (size_t split = 0; split <= e.keys.size();
		     split += split < 300 ? 1 : 997) {
			history = {};
			qiro_line_begin(&l, &history);
			memcpy(l.keys, e.stty.data(), QIRO_KEYS);
			std::string events = feed(&l, e.keys, 0, split);
			row_of(&l, e.width, prompt, &column);
			events += feed(&l, e.keys, split, e.keys.size());
			EXPECT_EQ(events, e.events);
			EXPECT_EQ(l.too_long, e.too_long);
			std::string line(l.buf, l.len);
			if (e.line != "*") {
				EXPECT_EQ(line.insert(l.pos, "|"), e.line);
			}
		}
		if (e.row == "*")
			continue;
		bool next_row;
		size_t start = qiro_line_start(prompt, e.width, &next_row);
		history = {};
		qiro_line_begin(&l, &history);
		memcpy(l.keys, e.stty.data(), QIRO_KEYS);
		feed(&l, e.keys, 0, e.keys.size(), e.width - start);
		EXPECT_EQ(row_of(&l, e.width, prompt, &column), e.row);
		EXPECT_EQ(column, e.column);
	}
}

} // namespace
