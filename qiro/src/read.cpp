#include "read.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

/*
 * Most answers fit the first piece, which keeps them cheap. A line that
 * outgrows it and then a piece the size of stdio's buffer is long.
 */
enum { FIRST_PIECE = 64, PIECE = 4096, BLOCK = 64 * 1024 };

/*
 * Only a regular file is known to seek exactly: a device or a stream of
 * another kind may report success without moving. A /proc file is regular
 * but says it holds nothing, so the file must hold what was read from it.
 * statx through syscall, not fstat: fstat would make every program that
 * loads the library check one more glibc symbol version at start, about
 * 1,000 instructions, a fifth of what a whole short get_int costs.
 */
static bool seeks_exactly(FILE *in, off_t at)
{
	int fd = fileno_unlocked(in);
#ifdef QIRO_HAVE_STATX
	struct statx st;
	return fd >= 0 &&
	       syscall(SYS_statx, fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE,
		       &st) == 0 &&
	       S_ISREG(st.stx_mode) && st.stx_size >= (uint64_t)at;
#else
	struct stat st;
	return fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
	       st.st_size >= at;
#endif
}

/*
 * The rest of a long line, in blocks that fread reads straight from the
 * file, far fewer reads than stdio's buffer allows. The stream is then set
 * just past the line's '\n', so that nothing after the line is consumed.
 * Returns -1 to leave the line to read_piece: the stream cannot seek
 * exactly, or there is no memory for a block.
 */
static int read_rest_in_blocks(FILE *in, qiro_parser *p, qiro_seeking seeking)
{
	off_t at = ftello(in);
	if (at < 0 || (seeking == QIRO_SEEK_IF_FILE && !seeks_exactly(in, at)))
		return -1;
	char *block = (char *)malloc(BLOCK);
	if (!block)
		return -1;

	int status = QIRO_OK;
	for (;;) {
		size_t n = fread_unlocked(block, 1, BLOCK, in);
		const char *nl = (const char *)memchr(block, '\n', n);
		if (nl) {
			qiro_parse_feed(p, block, (size_t)(nl - block));
			if (fseeko(in, at + (nl - block) + 1, SEEK_SET) != 0)
				status = QIRO_ERROR;
			break;
		}
		qiro_parse_feed(p, block, n);
		at += (off_t)n;
		if (n < BLOCK) {
			if (ferror_unlocked(in))
				status = QIRO_ERROR;
			break;
		}
	}
	free(block);
	return status;
}

/*
 * Feeds p the next bytes of the current line, at most size of them, taken
 * from stdio's buffer, and says how the piece ends: '\n' when the line
 * ended there, EOF when the input did, or 0 when the line goes on.
 */
static int read_piece(FILE *in, qiro_parser *p, char *buf, size_t size,
		      bool *got)
{
	size_t n = 0;
	int c = 0;

	while (n < size && (c = getc_unlocked(in)) != EOF && c != '\n')
		buf[n++] = (char)c;
	qiro_parse_feed(p, buf, n);
	*got = *got || n > 0;
	return n == size ? 0 : c;
}

qiro_status qiro_read_line(FILE *in, qiro_parser *p, qiro_seeking seeking)
{
	char buf[PIECE]; /* bounded: a longer line is fed to p in pieces */
	bool got = false;

	qiro_parse_begin(p);
	for (size_t size = FIRST_PIECE;; size = PIECE) {
		int end = read_piece(in, p, buf, size, &got);
		if (end == '\n')
			return QIRO_OK;
		if (end == EOF) {
			if (ferror_unlocked(in))
				return QIRO_ERROR;
			return got ? QIRO_OK : QIRO_END;
		}
		if (size == PIECE) {
			int s = read_rest_in_blocks(in, p, seeking);
			if (s >= 0)
				return (qiro_status)s;
		}
	}
}

const char *qiro_reason(qiro_verdict verdict)
{
	switch (verdict) {
	case QIRO_NUMBER:
		break;
	case QIRO_NOT_NUMBER:
		return "not a whole number, try again\n";
	case QIRO_OUT_OF_RANGE:
		return "out of range, enter a whole number from "
		       "-2147483648 to 2147483647\n";
	}
	return nullptr;
}

bool qiro_accepts(FILE *err, qiro_verdict verdict)
{
	const char *reason = qiro_reason(verdict);
	if (reason)
		fputs(reason, err);
	return !reason;
}

qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, int *value,
		     qiro_seeking seeking)
{
	for (;;) {
		if (prompt)
			fputs(prompt, err);
		fflush(err);

		qiro_parser p;
		qiro_status s = qiro_read_line(in, &p, seeking);
		if (s != QIRO_OK)
			return s;
		if (qiro_accepts(err, qiro_parse_end(&p, value)))
			return QIRO_OK;
	}
}
