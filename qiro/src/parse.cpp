#include "parse.h"

#include <string.h>

/* blanks, sign, digits, blanks, '\r' */
enum { LEAD, SIGN, DIGITS, TRAIL, CR, BAD };

/* Any magnitude past INT_MIN's is as out of range as any other. */
static const uint64_t too_big = 2147483649u;

static bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }
static bool is_digit(unsigned char c) { return (unsigned char)(c - '0') < 10; }

/* Sixteen bytes in one go; GCC and Clang map this to SIMD instructions. */
typedef unsigned char bytes16 __attribute__((vector_size(16)));

/* Non-zero when one of the sixteen bytes at c is not a digit. */
static uint64_t non_digits(const unsigned char *c)
{
	bytes16 v;
	uint64_t half[2];

	memcpy(&v, c, sizeof v);
	v = (bytes16)(v - '0' > 9);
	memcpy(half, &v, sizeof half);
	return half[0] | half[1];
}

/* Thirty-two at a time: a hostile line may be hundreds of MiB of digits. */
static const unsigned char *skip_digits(const unsigned char *c,
					const unsigned char *end)
{
	for (; end - c >= 32; c += 32)
		if (non_digits(c) | non_digits(c + 16))
			break;
	while (c < end && is_digit(*c))
		c++;
	return c;
}

static const unsigned char *take_digits(qiro_parser *p, const unsigned char *c,
					const unsigned char *end)
{
	for (; c < end && is_digit(*c) && p->magnitude < too_big; c++)
		p->magnitude = p->magnitude * 10 + (*c - '0');
	if (p->magnitude >= too_big) {
		p->magnitude = too_big;
		c = skip_digits(c, end);
	}
	return c;
}

void qiro_parse_begin(qiro_parser *p)
{
	p->state = LEAD;
	p->negative = false;
	p->magnitude = 0;
}

void qiro_parse_feed(qiro_parser *p, const char *s, size_t n)
{
	const unsigned char *c = (const unsigned char *)s, *end = c + n;

	while (c < end && p->state != BAD) {
		switch (p->state) {
		case LEAD:
			if (is_blank(*c)) {
				c++;
			} else if (*c == '+' || *c == '-') {
				p->negative = *c++ == '-';
				p->state = SIGN;
			} else {
				p->state = is_digit(*c) ? DIGITS : BAD;
			}
			break;
		case SIGN:
			p->state = is_digit(*c) ? DIGITS : BAD;
			break;
		case DIGITS:
			c = take_digits(p, c, end);
			if (c < end)
				p->state = TRAIL;
			break;
		case TRAIL:
			if (*c == '\r')
				p->state = CR;
			else if (!is_blank(*c))
				p->state = BAD;
			c++;
			break;
		case CR:
			p->state = BAD;
			break;
		}
	}
}

qiro_verdict qiro_parse_end(const qiro_parser *p, int *value)
{
	if (p->state != DIGITS && p->state != TRAIL && p->state != CR)
		return QIRO_NOT_NUMBER;
	if (p->magnitude > (p->negative ? 2147483648u : 2147483647u))
		return QIRO_OUT_OF_RANGE;
	*value = (int)(p->negative ? -(int64_t)p->magnitude : (int64_t)p->magnitude);
	return QIRO_NUMBER;
}

qiro_verdict qiro_parse_line(const char *s, size_t n, int *value)
{
	qiro_parser p;
	qiro_parse_begin(&p);
	qiro_parse_feed(&p, s, n);
	return qiro_parse_end(&p, value);
}
