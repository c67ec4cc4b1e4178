/*
 * Differential fuzzing of the line being edited: the bytes are keys for the
 * line and for a model written plainly from the documented keys, which
 * must agree on the line and the cursor after every key. Every row drawn
 * (after the last key, and every 16th) must hold the cursor, never reach
 * its last column, and be the whole line where that fits. The first two
 * bytes choose the width, and the prompt's and the terminal's keys.
 */
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "line.h"
#include "width.h"

namespace {

/* A code point at s[i], with its length; none (-1) for a malformed one. */
long code_point(const std::string &s, size_t i, size_t *len)
{
	unsigned char b = s[i];
	size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3
		 : (b >> 3) == 30 ? 4 : 0;
	*len = 1;
	if (n == 0 || i + n > s.size())
		return -1;
	long c = n == 1 ? b : b & (0xff >> (n + 1));
	for (size_t k = 1; k < n; k++) {
		if (((unsigned char)s[i + k] >> 6) != 2)
			return -1;
		c = c << 6 | (s[i + k] & 0x3f);
	}
	static const long least[] = {0, 0, 0x80, 0x800, 0x10000};
	if (c < least[n] || (c >= 0xd800 && c < 0xe000) || c > 0x10ffff)
		return -1;
	*len = n;
	return c;
}

bool zero_width(const std::string &s, size_t i, size_t *len)
{
	long c = code_point(s, i, len);
	return c >= 0xa0 && qiro_width((uint32_t)c) == 0;
}

/* Where each character of s begins: a code point, or a malformed byte,
 * and the zero-width code points after it. */
std::vector<size_t> boundaries(const std::string &s)
{
	std::vector<size_t> b;
	size_t len;
	for (size_t i = 0; i < s.size();) {
		b.push_back(i);
		code_point(s, i, &len);
		for (i += len; i < s.size() && zero_width(s, i, &len); i += len) {
		}
	}
	b.push_back(s.size());
	return b;
}

/* The caller's terminal keys (enum qiro_key): none, Linux's own, others
 * (erase ^H, kill ^X, werase ^T, eof ^Y), and printable ones. */
const unsigned char stty[4][QIRO_KEYS] = {
	{},
	{0x03, 0x1c, 0x1a, 0x7f, 0x15, 0x17, 0x04},
	{0x07, 0x1c, 0x1a, 0x08, 0x18, 0x14, 0x19},
	{0x03, 0, 0, '#', '@', 0, 0},
};

struct Model {
	const unsigned char *keys;
	std::string line, typed, esc;
	size_t pos = 0, skip = 0;
	bool too_long = false;
	int hist = -1;
	std::vector<std::string> history;

	void cut(size_t from, size_t to)
	{
		line.erase(from, to - from);
		pos = from;
		too_long = too_long && from == to;
	}

	size_t next() const
	{
		for (size_t b : boundaries(line))
			if (b > pos)
				return b;
		return pos;
	}

	size_t prev() const
	{
		size_t p = 0;
		for (size_t b : boundaries(line))
			if (b < pos)
				p = b;
		return p;
	}

	void step(int by)
	{
		int to = hist + by;
		if (to < -1 || to >= (int)history.size())
			return;
		if (hist < 0)
			typed = line;
		line = to < 0 ? typed : history[history.size() - 1 - to];
		pos = line.size();
		hist = to;
		too_long = false;
	}

	void enter()
	{
		if (!too_long && !line.empty() &&
		    (history.empty() || history.back() != line)) {
			history.push_back(line);
			size_t bytes = 0;
			for (const std::string &h : history)
				bytes += h.size();
			while (history.size() > QIRO_HISTORY_LINES ||
			       bytes > QIRO_HISTORY_BYTES) {
				bytes -= history.front().size();
				history.erase(history.begin());
			}
		}
		line.clear();
		pos = 0;
		too_long = false;
		hist = -1;
	}

	/* A byte as the caller's terminal keys have it: a signal, nothing to
	 * the line; erase, kill, werase as DEL, Ctrl-U, Ctrl-W; eof nothing on
	 * an empty line, else as Delete. */
	std::string as_typed(unsigned char c) const
	{
		static const char *same[] = {"", "", "", "\x7f", "\x15", "\x17", "[3~"};
		for (int k = 0; k < QIRO_KEYS; k++)
			if (keys[k] && c == keys[k])
				return k == QIRO_KEY_EOF && line.empty() ? "" : same[k];
		return std::string(1, (char)c);
	}

	/* A key: a byte, or an escape sequence's name ("[D", "O", "[3~"). */
	void key(const std::string &k)
	{
		unsigned char c = k.size() == 1 ? k[0] : 0;
		if (k == "[D" || k == "OD" || c == 2) {
			pos = prev();
		} else if (k == "[C" || k == "OC" || c == 6) {
			pos = next();
		} else if (k == "[H" || k == "OH" || k == "[1~" || k == "[7~" ||
			   c == 1) {
			pos = 0;
		} else if (k == "[F" || k == "OF" || k == "[4~" || k == "[8~" ||
			   c == 5) {
			pos = line.size();
		} else if (k == "[3~" || (c == 4 && !line.empty())) {
			cut(pos, next());
		} else if (c == 0x7f || c == 8) {
			cut(prev(), pos);
		} else if (c == 0x15) {
			cut(0, pos);
		} else if (c == 0x0b) {
			cut(pos, line.size());
		} else if (c == 0x17) {
			size_t i = pos;
			while (i > 0 && line[i - 1] == ' ')
				i--;
			while (i > 0 && line[i - 1] != ' ')
				i--;
			cut(i, pos);
		} else if (k == "[A" || k == "OA" || c == 0x10) {
			step(1);
		} else if (k == "[B" || k == "OB" || c == 0x0e) {
			step(-1);
		} else if (c == '\r' || c == '\n') {
			enter();
		} else if (k.size() == 1 && (c >= 0x20 || c == '\t') && c != 0x7f) {
			if (line.size() == QIRO_LINE_MAX) {
				too_long = true;
			} else {
				line.insert(pos++, 1, c == '\t' ? ' ' : (char)c);
			}
		}
	}

	/* Escape sequences: a control byte, or ESC, cuts one short and is a
	 * key again; ESC and a printable character, or a UTF-8 one, is Alt
	 * and that key, ignored; CSI parameters must be plain numbers. */
	void byte(unsigned char c)
	{
		bool control = c < 0x20 || c == 0x7f;
		if (skip > 0 && (c >> 6) == 2) {
			skip--;
			return;
		}
		skip = 0;
		if (esc == "\x1b" && !control) {
			esc = c == '[' || c == 'O' ? std::string(1, c) : "";
			skip = c >= 0xc2 && c < 0xf5 ? (c >= 0xe0) + (c >= 0xf0) + 1 : 0;
			return;
		}
		if (esc == "O" && !control && c < 0x80) {
			esc += c;
			key(esc);
			esc.clear();
			return;
		}
		if (esc[0] == '[' && !control && c < 0x7f) {
			esc += c;
			if (c >= 0x40)
				csi();
			return;
		}
		esc.clear();
		if (c == 0x1b)
			esc.assign(1, 0x1b);
		else
			key(as_typed(c));
	}

	/* One plain number at most; past 99999 it names no key. */
	void csi()
	{
		std::string n = esc.substr(1, esc.size() - 2);
		if (n.find_first_not_of("0123456789") == std::string::npos) {
			if (!n.empty())
				n.erase(0, std::min(n.find_first_not_of('0'),
						    n.size() - 1));
			if (n.size() < 6)
				key("[" + n + esc.back());
		}
		esc.clear();
	}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
	static qiro_history history;
	static qiro_line l;
	static qiro_row row;
	if (size < 2)
		return 0;
	size_t width = 1 + data[0], prompt = data[1] % 64;
	Model m;
	m.keys = stty[data[1] / 64];

	history = {};
	qiro_line_begin(&l, &history);
	memcpy(l.keys, m.keys, QIRO_KEYS);
	for (size_t i = 2; i < size; i++) {
		if (qiro_line_key(&l, data[i]) == QIRO_LINE_ENTER) {
			if (!l.too_long)
				qiro_history_add(&history, l.buf, l.len);
			qiro_line_begin(&l, &history);
		}
		m.byte(data[i]);
		if (std::string(l.buf, l.len) != m.line || l.pos != m.pos ||
		    l.too_long != m.too_long) {
			fprintf(stderr, "after byte %zu: line %zu bytes, cursor %zu"
				" (the model: %zu, %zu)\n", i, l.len, l.pos,
				m.line.size(), m.pos);
			abort();
		}
		if (i % 16 != 0 && i + 1 < size)
			continue; /* a row now and then: each costs the line's length */

		bool next_row;
		size_t start = qiro_line_start(prompt, width, &next_row);
		size_t room = width - start, whole = 0, len;
		std::vector<size_t> b = boundaries(m.line);
		for (size_t k = 0; k + 1 < b.size(); k++) {
			long c = code_point(m.line, b[k], &len);
			whole += c < 0x20 || (c >= 0x7f && c < 0xa0) ? 1
				: qiro_width((uint32_t)c) ? qiro_width((uint32_t)c) : 1;
		}
		qiro_line_row(&l, room, &row);
		if (row.cols > room - 1 || row.cursor > row.cols ||
		    (whole <= room - 1 && row.cols != whole)) {
			fprintf(stderr, "row of %zu columns, cursor at %zu, in %zu;"
				" the line takes %zu\n", row.cols, row.cursor,
				room, whole);
			abort();
		}
	}
	return 0;
}
