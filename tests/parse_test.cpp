#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "parse.h"
#include "read.h"
#include "source.h"

using namespace std::string_literals;

namespace {

struct Case {
	std::string line;
	qiro_verdict verdict;
	int value;
};

const std::vector<Case> listed = {
	{"0", QIRO_NUMBER, 0},
	{"7", QIRO_NUMBER, 7},
	{"-0", QIRO_NUMBER, 0},
	{"+42", QIRO_NUMBER, 42},
	{" \t-17 \t", QIRO_NUMBER, -17},
	{"7\r", QIRO_NUMBER, 7},
	{"  7  \r", QIRO_NUMBER, 7},
	{"0007", QIRO_NUMBER, 7},
	{"2147483647", QIRO_NUMBER, 2147483647},
	{"-2147483648", QIRO_NUMBER, -2147483647 - 1},
	{"-000000000002147483648", QIRO_NUMBER, -2147483647 - 1},
	{"2147483648", QIRO_OUT_OF_RANGE, 0},
	{"-2147483649", QIRO_OUT_OF_RANGE, 0},
	{"4294967296", QIRO_OUT_OF_RANGE, 0}, /* wraps to 0 in 32 bits */
	{"4294967303", QIRO_OUT_OF_RANGE, 0}, /* wraps to 7 */
	{"18446744073709551623", QIRO_OUT_OF_RANGE, 0}, /* wraps to 7 in 64 */
	{" +99999999999999999999 \r", QIRO_OUT_OF_RANGE, 0},
	{"", QIRO_NOT_NUMBER, 0},
	{" \t ", QIRO_NOT_NUMBER, 0},
	{"\r", QIRO_NOT_NUMBER, 0},
	{"+", QIRO_NOT_NUMBER, 0},
	{"-", QIRO_NOT_NUMBER, 0},
	{"+-5", QIRO_NOT_NUMBER, 0},
	{"- 5", QIRO_NOT_NUMBER, 0},
	{"- ", QIRO_NOT_NUMBER, 0},
	{"-\t", QIRO_NOT_NUMBER, 0},
	{"+\r", QIRO_NOT_NUMBER, 0},
	{"4 2", QIRO_NOT_NUMBER, 0},
	{"3.5", QIRO_NOT_NUMBER, 0},
	{"1e3", QIRO_NOT_NUMBER, 0},
	{"0x10", QIRO_NOT_NUMBER, 0},
	{"12a", QIRO_NOT_NUMBER, 0},
	{"99999999999x", QIRO_NOT_NUMBER, 0}, /* form before range */
	{"7\r\r", QIRO_NOT_NUMBER, 0},
	{"7\r ", QIRO_NOT_NUMBER, 0},
	{"7\r8", QIRO_NOT_NUMBER, 0},
	{"\v7", QIRO_NOT_NUMBER, 0},
	{"\f7", QIRO_NOT_NUMBER, 0},
	{"7\f", QIRO_NOT_NUMBER, 0},
	{"7\n", QIRO_NOT_NUMBER, 0}, /* a line never holds its '\n' */
	{"1\0"s "2", QIRO_NOT_NUMBER, 0},
	{"\0"s "7", QIRO_NOT_NUMBER, 0},
	{"7\0"s, QIRO_NOT_NUMBER, 0},
	{"\xd9\xa7", QIRO_NOT_NUMBER, 0}, /* ARABIC-INDIC DIGIT SEVEN */
	{"\xef\xbc\x97", QIRO_NOT_NUMBER, 0}, /* FULLWIDTH DIGIT SEVEN */
	{"\xb7", QIRO_NOT_NUMBER, 0}, /* '7' with its top bit set */
	{"12345678:", QIRO_NOT_NUMBER, 0}, /* ':' follows '9' */
	{"1234567/8", QIRO_NOT_NUMBER, 0}, /* '/' precedes '0' */
	{std::string(1000000, '0') + "7", QIRO_NUMBER, 7},
	{std::string(1000000, '9'), QIRO_OUT_OF_RANGE, 0},
	{std::string(100000, '1') + "x", QIRO_NOT_NUMBER, 0},
	{std::string(100000, '1') + "\0"s + "1", QIRO_NOT_NUMBER, 0},
	{std::string(100000, '1') + "1\r", QIRO_OUT_OF_RANGE, 0},
	{std::string(100000, ' ') + "7" + std::string(100000, '\t'), QIRO_NUMBER, 7},
};

/*
 * The reader hands the parser what stdio's buffer holds: 4 KiB at a time
 * from a file, 8 KiB from memory, a few bytes from a pipe's short reads;
 * past that a long line on a stream that seeks goes on in blocks of 64 KiB.
 * The parser checks a long digit run 32 bytes at a time, as two halves of
 * 16. Lines end on each side of those edges and of a few others, and bad
 * bytes fall at every place within the first blocks and around the edges.
 */
const size_t first = 64, piece = 4096, block = 65536, edges[] = {
	first, first + piece, first + 2 * piece, first + piece + block,
	piece, 2 * piece, piece + block, 2 * piece + block};

std::vector<Case> generated()
{
	std::vector<Case> out;
	std::string digits;
	while (digits.size() < 2 * piece + block + 100)
		digits += "1234567890";
	for (size_t edge : edges)
		for (size_t n = edge - 1; n <= edge + 1; n++)
			out.push_back({std::string(n - 1, '0') + "7", QIRO_NUMBER, 7});

	std::vector<size_t> at;
	for (size_t i = 0; i < 140; i++)
		at.push_back(i);
	for (size_t edge : edges)
		for (int d = -40; d < 40; d++)
			if (edge < block || (d + 48) % 16 <= 1 || (d + 48) % 16 == 15)
				at.push_back(edge + d);
	for (size_t i : at)
		for (char bad : {':', '/'}) {
			std::string line = digits.substr(0, i + 40);
			line[i] = bad;
			out.push_back({line, QIRO_NOT_NUMBER, 0});
		}
	return out;
}

const std::vector<Case> cases = [] {
	std::vector<Case> all = listed, more = generated();
	all.insert(all.end(), more.begin(), more.end());
	return all;
}();

/* Checks the answer of a parser p that has been fed all of c.line. */
void expect_end(const Case &c, const qiro_parser &p, const std::string &how)
{
	int value = -1;
	qiro_verdict verdict = qiro_parse_end(&p, &value);
	EXPECT_EQ(verdict, c.verdict) << how << ", line of " << c.line.size();
	if (c.verdict == QIRO_NUMBER) {
		EXPECT_EQ(value, c.value) << how;
	}
}

TEST(Parse, WholeLine)
{
	for (const Case &c : cases) {
		int value = -1;
		qiro_verdict verdict =
			qiro_parse_line(c.line.data(), c.line.size(), &value);
		EXPECT_EQ(verdict, c.verdict) << c.line.substr(0, 30);
		if (c.verdict == QIRO_NUMBER) {
			EXPECT_EQ(value, c.value) << c.line;
		}
	}
}

/* The reader hands the parser pieces cut anywhere. */
TEST(Parse, AnyCut)
{
	for (const Case &c : cases) {
		if (c.line.size() > 64)
			continue;
		for (size_t cut = 0; cut <= c.line.size(); cut++) {
			qiro_parser p;
			qiro_parse_begin(&p);
			qiro_parse_feed(&p, c.line.data(), cut);
			qiro_parse_feed(&p, c.line.data() + cut, c.line.size() - cut);
			expect_end(c, p, "cut at " + std::to_string(cut));
		}
	}
}

TEST(Parse, ValueUntouchedOnReject)
{
	int value = 5;
	EXPECT_EQ(qiro_parse_line("x", 1, &value), QIRO_NOT_NUMBER);
	EXPECT_EQ(qiro_parse_line("3000000000", 10, &value), QIRO_OUT_OF_RANGE);
	EXPECT_EQ(value, 5);
}

/* The streams a line may come from, and which path of the reader each takes. */
struct Stream {
	const char *name;
	qiro_seeking seeking;
	FILE *(*open)(const std::string &input, source *src);
};

const Stream streams[] = {
	{"file, in blocks", QIRO_SEEK_IF_FILE,
	 [](const std::string &input, source *) {
		 FILE *f = tmpfile();
		 fwrite(input.data(), 1, input.size(), f);
		 rewind(f);
		 return f;
	 }},
	{"memory, in pieces", QIRO_SEEK_IF_FILE,
	 [](const std::string &input, source *) {
		 return fmemopen((void *)input.data(), input.size(), "r");
	 }},
	{"memory, in blocks", QIRO_SEEK_EXACT,
	 [](const std::string &input, source *) {
		 return fmemopen((void *)input.data(), input.size(), "r");
	 }},
	{"pipe, short reads", QIRO_SEEK_IF_FILE,
	 [](const std::string &input, source *src) {
		 *src = {input, 7};
		 return src->open();
	 }},
	{"pipe, said to seek", QIRO_SEEK_EXACT,
	 [](const std::string &input, source *src) {
		 *src = {input};
		 return src->open();
	 }},
	{"seek that does not move", QIRO_SEEK_IF_FILE,
	 [](const std::string &input, source *src) {
		 *src = {input, SIZE_MAX, SIZE_MAX, source::LYING};
		 return src->open();
	 }},
};

/* Every case as a line of each stream, with and without its '\n'. */
TEST(ReadLine, Lines)
{
	for (const Stream &stream : streams)
		for (const Case &c : cases) {
			if (c.line.find('\n') != std::string::npos)
				continue;
			for (std::string end : {"\nrest", ""}) {
				std::string input = c.line + end;
				if (input.empty()) /* no line at all */
					continue;
				source src;
				FILE *in = stream.open(input, &src);
				ASSERT_NE(in, nullptr);
				qiro_parser p;
				ASSERT_EQ(qiro_read_line(in, &p, stream.seeking),
					  QIRO_OK)
					<< stream.name << ", line of " << c.line.size();
				expect_end(c, p, stream.name);
				if (!end.empty()) { /* not one byte more than the line */
					char rest[8] = {};
					EXPECT_STREQ(fgets(rest, sizeof rest, in), "rest")
						<< stream.name << ", line of "
						<< c.line.size();
				}
				fclose(in);
			}
		}
}

TEST(ReadLine, EndOfInput)
{
	std::string input = "\n7";
	FILE *in = fmemopen(input.data(), input.size(), "r");
	qiro_parser p;
	int value;
	EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_IF_FILE), QIRO_OK);
	EXPECT_EQ(qiro_parse_end(&p, &value), QIRO_NOT_NUMBER);
	EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_IF_FILE), QIRO_OK);
	EXPECT_EQ(qiro_parse_end(&p, &value), QIRO_NUMBER);
	EXPECT_EQ(value, 7);
	EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_IF_FILE), QIRO_EOF);
	fclose(in);
}

TEST(ReadLine, ReadError)
{
	FILE *in = fopen("/dev/null", "w"); /* not open for reading */
	ASSERT_NE(in, nullptr);
	qiro_parser p;
	EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_IF_FILE), QIRO_ERROR);
	fclose(in);

	/* Partway through a long line, in pieces and in blocks; or where the
	 * stream cannot be set back past the line. */
	for (source::seeking seek : {source::NONE, source::EXACT})
		for (size_t fail_at : {first - 1, first + 1, first + piece + 1,
				       first + piece + block + 1}) {
			source src = {std::string(2 * block, '1') + "\n7\n",
				      SIZE_MAX, fail_at, seek};
			in = src.open();
			EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_EXACT),
				  QIRO_ERROR)
				<< "seek " << seek << ", failing at " << fail_at;
			fclose(in);
		}
	source tell_only = {std::string(2 * block, '1') + "\n7\n", SIZE_MAX,
			    SIZE_MAX, source::TELL_ONLY};
	in = tell_only.open();
	EXPECT_EQ(qiro_read_line(in, &p, QIRO_SEEK_EXACT), QIRO_ERROR);
	fclose(in);
}

const std::string P = "%s%n: ", NaN = "not a whole number, try again\n";

/* Lines asked for within a range: the numbers taken, one call each, and
 * all that err was told; the input then ends, and a newline ends the
 * prompt's row, if it has text. The prompt is no format. */
struct Asked {
	std::string input;
	qiro_range r;
	std::vector<int> taken;
	std::string said;
	std::string prompt = P;
};

std::string range(int min, int max)
{
	return "out of range, enter a whole number from " + std::to_string(min) +
	       " to " + std::to_string(max) + "\n";
}

const Asked asked[] = {
	{"abc\n99999999999\n\0\n-12\n"s, qiro_any, {-12},
	 P + NaN + P + range(INT_MIN, INT_MAX) + P + NaN + P + P + "\n"},
	{"0\n10\n", {0, 10}, {0, 10}, P + P + P + "\n"},
	{"-1\n11\n5\n", {0, 10}, {5},
	 P + range(0, 10) + P + range(0, 10) + P + P + "\n"},
	{"6\n8\n7", {7, 7}, {7}, P + range(7, 7) + P + range(7, 7) + P + P + "\n"},
	{"-2147483648\n2147483647\n2147483648\n", qiro_any, {INT_MIN, INT_MAX},
	 P + P + P + range(INT_MIN, INT_MAX) + P + "\n"},
	{"-5\n x\n", {-4, -2}, {}, P + range(-4, -2) + P + NaN + P + "\n"},
	{"x\n", qiro_any, {}, "n:\n" + NaN + "n:\n", "n:\n"},
};

TEST(Ask, WithinARange)
{
	for (const Asked &a : asked) {
		FILE *in = fmemopen((void *)a.input.data(), a.input.size(), "r");
		char *said = nullptr;
		size_t size = 0;
		FILE *err = open_memstream(&said, &size);
		std::vector<int> taken;
		int value = 0;
		while (qiro_ask(in, err, a.prompt.c_str(), a.r, &value,
				QIRO_SEEK_IF_FILE) == QIRO_OK)
			taken.push_back(value);
		fclose(err);
		EXPECT_EQ(taken, a.taken) << a.input;
		EXPECT_EQ(said, a.said) << a.input;
		free(said);
		fclose(in);
	}
}

/* The prompt is out before the first read, even where err is buffered. */
TEST(Ask, PromptFlushedBeforeReading)
{
	char *said = nullptr;
	size_t size = 0, seen = SIZE_MAX;
	FILE *err = open_memstream(&said, &size); /* fully buffered */
	size_t *watch[2] = {&size, &seen};
	cookie_io_functions_t io = {};
	io.read = [](void *cookie, char *buf, size_t) -> ssize_t {
		size_t **w = (size_t **)cookie;
		*w[1] = *w[0];
		memcpy(buf, "7\n", 2);
		return 2;
	};
	FILE *in = fopencookie(watch, "r", io);
	int value = 0;
	EXPECT_EQ(qiro_ask(in, err, "n: ", qiro_any, &value, QIRO_SEEK_IF_FILE),
		  QIRO_OK);
	EXPECT_EQ(seen, 3u);
	EXPECT_EQ(qiro_ask(in, err, nullptr, qiro_any, &value, QIRO_SEEK_IF_FILE),
		  QIRO_OK);
	fclose(err);
	EXPECT_STREQ(said, "n: "); /* a NULL prompt shows nothing */
	free(said);
	fclose(in);
}

} // namespace
