#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "parse.h"
#include "read.h"

using namespace std::string_literals;

namespace {

struct Case {
	std::string line;
	qiro_verdict verdict;
	int value;
};

const Case cases[] = {
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

/* Every case as a line of a stream, with and without its '\n'. */
TEST(ReadLine, Lines)
{
	for (const Case &c : cases) {
		if (c.line.find('\n') != std::string::npos)
			continue;
		for (std::string end : {"\nrest", ""}) {
			std::string input = c.line + end;
			if (input.empty()) /* no line at all */
				continue;
			FILE *in = fmemopen(input.data(), input.size(), "r");
			ASSERT_NE(in, nullptr);
			qiro_parser p;
			ASSERT_EQ(qiro_read_line(in, &p), QIRO_OK);
			expect_end(c, p, "stream");
			if (!end.empty()) { /* not one byte more than the line */
				char rest[8] = {};
				EXPECT_STREQ(fgets(rest, sizeof rest, in), "rest");
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
	EXPECT_EQ(qiro_read_line(in, &p), QIRO_OK);
	EXPECT_EQ(qiro_parse_end(&p, &value), QIRO_NOT_NUMBER);
	EXPECT_EQ(qiro_read_line(in, &p), QIRO_OK);
	EXPECT_EQ(qiro_parse_end(&p, &value), QIRO_NUMBER);
	EXPECT_EQ(value, 7);
	EXPECT_EQ(qiro_read_line(in, &p), QIRO_END);
	fclose(in);
}

TEST(ReadLine, ReadError)
{
	FILE *in = fopen("/dev/null", "w"); /* not open for reading */
	ASSERT_NE(in, nullptr);
	qiro_parser p;
	EXPECT_EQ(qiro_read_line(in, &p), QIRO_ERROR);
	fclose(in);
}

TEST(Ask, RetriesWithReasons)
{
	std::string input = "abc\n99999999999\n\0\n-12\n"s;
	FILE *in = fmemopen(input.data(), input.size(), "r");
	char *said = nullptr;
	size_t size = 0;
	FILE *err = open_memstream(&said, &size);
	int value = 0;
	EXPECT_EQ(qiro_ask(in, err, "%s%n: ", &value), QIRO_OK);
	EXPECT_EQ(value, -12);
	EXPECT_EQ(qiro_ask(in, err, "y: ", &value), QIRO_END);
	fclose(err);
	EXPECT_STREQ(said,
		     "%s%n: not a whole number, try again\n"
		     "%s%n: out of range, enter a whole number from "
		     "-2147483648 to 2147483647\n"
		     "%s%n: not a whole number, try again\n"
		     "%s%n: y: ");
	free(said);
	fclose(in);
}

} // namespace
