#include "read.h"

#include <cstring>

qiro_status qiro_read_line(FILE *in, qiro_parser *p)
{
	/* Bounded: a line longer than this is fed to p in pieces. */
	char buf[4096];
	bool got = false;

	qiro_parse_begin(p);
	for (;;) {
		/*
		 * fgets cannot say how much it read when the line holds NUL
		 * bytes, but with no NUL in the filler, the NUL it writes
		 * after the data is the last one in buf.
		 */
		memset(buf, '\n', sizeof buf);
		if (!fgets(buf, sizeof buf, in))
			break;
		got = true;
		size_t n = (size_t)((char *)memrchr(buf, '\0', sizeof buf) - buf);
		if (buf[n - 1] == '\n') {
			qiro_parse_feed(p, buf, n - 1);
			return QIRO_OK;
		}
		qiro_parse_feed(p, buf, n);
	}
	if (ferror(in))
		return QIRO_ERROR;
	return got ? QIRO_OK : QIRO_END;
}

qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, int *value)
{
	for (;;) {
		if (prompt)
			fputs(prompt, err);
		fflush(err);

		qiro_parser p;
		qiro_status s = qiro_read_line(in, &p);
		if (s != QIRO_OK)
			return s;
		switch (qiro_parse_end(&p, value)) {
		case QIRO_NUMBER:
			return QIRO_OK;
		case QIRO_NOT_NUMBER:
			fputs("not a whole number, try again\n", err);
			break;
		case QIRO_OUT_OF_RANGE:
			fputs("out of range, enter a whole number from "
			      "-2147483648 to 2147483647\n",
			      err);
			break;
		}
	}
}
