/*
 * Differential fuzzing of the input path: the bytes are read as stdin would
 * be, through the real reader and parser, and every answer is checked
 * against a reference written plainly from the input rules, for the whole
 * of int and for a narrower range.
 */
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "read.h"
#include "source.h"

static const char not_number[] = "not a whole number, try again\n";

/* The reference: returns the message for line, or "" with *value set. */
static std::string reference(std::string line, qiro_range r, long long *value)
{
	if (!line.empty() && line.back() == '\r')
		line.pop_back();
	size_t end = line.find_last_not_of(" \t");
	size_t begin = line.find_first_not_of(" \t");
	if (begin == std::string::npos)
		return not_number;
	line = line.substr(begin, end - begin + 1);

	bool negative = line[0] == '-';
	if (line[0] == '-' || line[0] == '+')
		line.erase(0, 1);
	if (line.empty())
		return not_number;
	for (char c : line)
		if (c < '0' || c > '9')
			return not_number;

	line.erase(0, line.find_first_not_of('0'));
	*value = line.size() > 10 ? 1LL << 40 : line.empty() ? 0 : std::stoll(line);
	if (negative)
		*value = -*value;
	if (*value < r.min || *value > r.max)
		return "out of range, enter a whole number from " +
		       std::to_string(r.min) + " to " + std::to_string(r.max) + "\n";
	return "";
}

/* Asks until in runs out; aborts unless every answer is the reference's. */
static void check(FILE *in, qiro_seeking seeking, qiro_range r,
		  const std::vector<long long> &values, const std::string &expected)
{
	char *said = nullptr;
	size_t said_size = 0;
	FILE *err = open_memstream(&said, &said_size);
	if (!in || !err)
		abort();

	std::vector<long long> got;
	int value;
	qiro_status s;
	while ((s = qiro_ask(in, err, "> ", r, &value, seeking)) == QIRO_OK)
		got.push_back(value);
	fclose(err);
	fclose(in);

	if (s != QIRO_EOF || got != values || expected != said) {
		fprintf(stderr, "status %d, %zu numbers (expected %zu)\n"
			"said:     %s\nexpected: %s\n",
			s, got.size(), values.size(), said, expected.c_str());
		abort();
	}
	free(said);
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
	/* What the reference expects, line by line, within each range: the
	 * narrower one the first and last bytes choose. */
	qiro_range ranges[2] = {qiro_any, {size ? -100 * data[0] : 0,
					   size ? 100 * data[size - 1] : 0}};
	std::vector<long long> values[2];
	std::string expected[2] = {"> ", "> "};
	std::string input(data, data + size);
	for (int k = 0; k < 2; k++) {
		for (size_t at = 0; at < input.size();) {
			size_t nl = input.find('\n', at);
			if (nl == std::string::npos)
				nl = input.size();
			long long value = 0;
			std::string message = reference(input.substr(at, nl - at),
							ranges[k], &value);
			if (message.empty())
				values[k].push_back(value);
			expected[k] += message + "> ";
			at = nl + 1;
		}
		expected[k] += "\n"; /* the last prompt's row ended */
	}

	/* Memory that seeks exactly: long lines are read in blocks. */
	std::vector<char> bytes(data, data + size);
	bytes.push_back('\0'); /* fmemopen wants room for one; not read */
	check(fmemopen(bytes.data(), size, "r"), QIRO_SEEK_EXACT, ranges[0],
	      values[0], expected[0]);

	/* A pipe, in short reads, and a seek that says it moved but did not:
	 * both are read piece by piece. */
	source pipe = {input, size ? 1 + data[0] % 997u : 1};
	check(pipe.open(), QIRO_SEEK_IF_FILE, ranges[0], values[0], expected[0]);
	source lying = {input, SIZE_MAX, SIZE_MAX, source::LYING};
	check(lying.open(), QIRO_SEEK_IF_FILE, ranges[1], values[1], expected[1]);
	return 0;
}
