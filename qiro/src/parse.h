/* Incremental parser for one line of input, fed in pieces of any size. */
#ifndef QIRO_PARSE_H
#define QIRO_PARSE_H

#include <stddef.h>
#include <stdint.h>

enum qiro_verdict { QIRO_NUMBER, QIRO_NOT_NUMBER, QIRO_OUT_OF_RANGE };

struct qiro_parser {
	unsigned char state;
	bool negative;
	uint64_t magnitude; /* saturates just past the range */
};

void qiro_parse_begin(qiro_parser *p);
/* s holds the next n bytes of the line, never its '\n'. */
void qiro_parse_feed(qiro_parser *p, const char *s, size_t n);
/* Sets *value only when the line is a whole number in range. */
qiro_verdict qiro_parse_end(const qiro_parser *p, int *value);

qiro_verdict qiro_parse_line(const char *s, size_t n, int *value);

#endif
