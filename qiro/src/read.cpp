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
		size_t n = (size_t)((char *)memrchr(buf, '\0', sizeof buf) - buf);
		if (buf[n - 1] == '\n') {
			qiro_parse_feed(p, buf, n - 1);
			return QIRO_OK;
		}
		qiro_parse_feed(p, buf, n);
		if (!got) {
			got = true;
			int s = read_rest_in_blocks(in, p);
			if (s >= 0)
				return (qiro_status)s;
		}
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
