#include "read.h"

#include <cstdlib>
#include <cstring>
#include <sys/types.h>

/*
 * The rest of a long line on a seekable stream: fread reads large requests
 * straight from the file, far fewer reads than the stdio buffer's size
 * allows, and the stream is then set just past the line's '\n', so that
 * nothing after the line is consumed. Returns -1 to leave the line to
 * fgets: the stream cannot seek, or no memory for the block.
 */
static int read_rest_in_blocks(FILE *in, qiro_parser *p)
{
	const size_t size = 64 * 1024;
	off_t at = ftello(in);
	if (at < 0)
		return -1;
	char *block = (char *)malloc(size);
	if (!block)
		return -1;

	int status = QIRO_OK;
	for (;;) {
		size_t n = fread(block, 1, size, in);
		const char *nl = (const char *)memchr(block, '\n', n);
		if (nl) {
			qiro_parse_feed(p, block, (size_t)(nl - block));
			if (fseeko(in, at + (nl - block) + 1, SEEK_SET) != 0)
				status = QIRO_ERROR;
			break;
		}
		qiro_parse_feed(p, block, n);
		at += (off_t)n;
		if (n < size) {
			if (ferror(in))
				status = QIRO_ERROR;
			break;
		}
	}
	free(block);
	return status;
}

/*
 * Reads the next piece of the current line into buf, at most size - 1
 * bytes, and says how it ends: '\n' when the line ended there, EOF when
 * the input did, or 0 when the line goes on.
 */
static size_t read_piece(FILE *in, char *buf, size_t size, int *end)
{
	/*
	 * fgets cannot say how much it read when the line holds NUL bytes,
	 * but with no NUL in the filler, the NUL it writes after the data is
	 * the last one in buf.
	 */
	memset(buf, '\n', size);
	if (!fgets(buf, (int)size, in)) {
		*end = EOF;
		return 0;
	}
	size_t n = (size_t)((char *)memrchr(buf, '\0', size) - buf);
	*end = buf[n - 1] == '\n' ? '\n' : n < size - 1 ? EOF : 0;
	return *end == '\n' ? n - 1 : n;
}

qiro_status qiro_read_line(FILE *in, qiro_parser *p)
{
	/* Bounded: a longer line is fed to p in pieces. */
	char buf[4096];
	/* Most lines are short: fill and scan only a little of buf for them. */
	size_t size = 64;
	bool got = false;
	int end;

	qiro_parse_begin(p);
	for (;;) {
		size_t n = read_piece(in, buf, size, &end);
		qiro_parse_feed(p, buf, n);
		got = got || n > 0;
		if (end == '\n')
			return QIRO_OK;
		if (end == EOF) {
			if (ferror(in))
				return QIRO_ERROR;
			return got ? QIRO_OK : QIRO_END;
		}
		if (size < sizeof buf) { /* the line is long */
			int s = read_rest_in_blocks(in, p);
			if (s >= 0)
				return (qiro_status)s;
			size = sizeof buf;
		}
	}
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
