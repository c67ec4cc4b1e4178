#include "read.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include "stdio_buffer.h"
#include "term.h"

/*
 * Most answers are a few bytes that stdio's buffer holds whole. A line that
 * is still going after stdio has refilled its buffer, and after LONG bytes,
 * is long: it is read in blocks of BLOCK.
 */
enum { LONG = 4096, BLOCK = 64 * 1024 };

/* Sixteen bytes in one go, as the parser reads digits. */
typedef char bytes16 __attribute__((vector_size(16)));

/*
 * memchr for '\n', here rather than in the C library: a first call of
 * memchr would cost a short answer some 1,000 instructions, to bind it.
 */
static const char *find_newline(const char *s, size_t n)
{
	const char *end = s + n;

	for (; end - s >= 16; s += 16) {
		bytes16 v;
		uint64_t half[2];
		memcpy(&v, s, sizeof v);
		v = (bytes16)(v == '\n');
		memcpy(half, &v, sizeof half);
		if (half[0] | half[1])
			break;
	}
	for (; s < end; s++)
		if (*s == '\n')
			return s;
	return nullptr;
}

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
	int fd = qiro_fileno(in);
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
 * A read cut short by a signal's handler (EINTR), or on a descriptor the
 * caller made non-blocking (EAGAIN), is to be tried again: the handler has
 * run; input has come once poll says so. True then, with the error
 * cleared. Nothing read is lost: stdio reads only into an empty buffer.
 */
static bool read_again(FILE *in)
{
	int fd = qiro_fileno(in);
	if (errno == EAGAIN && fd >= 0) {
		struct pollfd p = {fd, POLLIN, 0};
		poll(&p, 1, -1);
	} else if (errno != EINTR) {
		return false;
	}
	clearerr_unlocked(in);
	return true;
}

/*
 * The rest of a long line, in blocks that fread reads straight from the
 * file, far fewer reads than stdio's buffer allows. The stream is then set
 * just past the line's '\n', so that nothing after the line is consumed.
 * Returns -1 to leave the line to stdio's buffer: the stream cannot seek
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
		const char *nl = find_newline(block, n);
		if (nl) {
			qiro_parse_feed(p, block, (size_t)(nl - block));
			if (fseeko(in, at + (nl - block) + 1, SEEK_SET) != 0)
				status = QIRO_ERROR;
			break;
		}
		qiro_parse_feed(p, block, n);
		at += (off_t)n;
		if (n < BLOCK && !(ferror_unlocked(in) && read_again(in))) {
			if (ferror_unlocked(in))
				status = QIRO_ERROR;
			break;
		}
	}
	free(block);
	return status;
}

/*
 * stdin's buffer from its first long line on, where it cannot seek (a
 * pipe, a socket, a device): stdio reads no more than its buffer holds at a
 * time, 4 KiB from a pipe on glibc (which ignores setvbuf's size without a
 * buffer) and 1 KiB on musl. stdin keeps it for good, as stdin lasts as
 * long as the process: the library's own memory, never freed, so that no
 * block of the heap is left behind at exit, and never unmapped, as the
 * library is never unloaded (-z nodelete).
 *
 * Only with the buffer empty, as setvbuf may drop what it holds, and past
 * a refill, so not in the area where glibc keeps bytes given back with
 * ungetc. An unbuffered stdin stays so: it is not to read past the line;
 * and a buffer the caller gave stdin stays the caller's.
 */
static void enlarge(FILE *in)
{
	static char buffer[BLOCK];
	size_t size = __fbufsize(in);
	if (in != stdin || size <= 1 || size >= BLOCK / 2)
		return;
#ifdef __GLIBC__
	enum { USER_BUF = 0x0001 }; /* glibc's _IO_USER_BUF, as gnulib names it */
	if (in->_flags & USER_BUF)
		return;
#endif
	setvbuf(in, buffer, __flbf(in) ? _IOLBF : _IOFBF, BLOCK);
}

/*
 * Feeds p the bytes of the line that stdio's buffer holds, where they lie,
 * and hands them out, with the '\n' if there is one: true then.
 */
static bool feed_buffered(FILE *in, qiro_parser *p, uint64_t *fed)
{
	size_t n;
	const char *s = qiro_buffered(in, &n);
	if (!s)
		return false;
	const char *nl = find_newline(s, n);
	size_t len = nl ? (size_t)(nl - s) : n;
	if (len)
		qiro_parse_feed(p, s, len);
	qiro_take(in, len + (nl != nullptr));
	*fed += len;
	return nl != nullptr;
}

qiro_status qiro_read_line(FILE *in, qiro_parser *p, qiro_seeking seeking)
{
	uint64_t fed = 0; /* a line may pass 4 GiB on a 32-bit system */
	bool refilled = false, known_long = false;

	qiro_parse_begin(p);
	while (!feed_buffered(in, p, &fed)) {
		if (refilled && fed >= LONG && !known_long) {
			known_long = true;
			int s = read_rest_in_blocks(in, p, seeking);
			if (s >= 0)
				return (qiro_status)s;
			enlarge(in);
		}
		int c = getc_unlocked(in); /* stdio refills its buffer */
		if (c == EOF) {
			if (!ferror_unlocked(in))
				return fed ? QIRO_OK : QIRO_EOF;
			if (read_again(in))
				continue;
			return QIRO_ERROR;
		}
		if (c == '\n')
			return QIRO_OK;
		char byte = (char)c;
		qiro_parse_feed(p, &byte, 1);
		fed++;
		refilled = true;
	}
	return QIRO_OK;
}

qiro_verdict qiro_judge(qiro_verdict verdict, int value, qiro_range r)
{
	if (verdict == QIRO_NUMBER && (value < r.min || value > r.max))
		return QIRO_OUT_OF_RANGE;
	return verdict;
}

const char *qiro_reason(qiro_verdict verdict, qiro_range r,
			char buf[QIRO_REASON_MAX])
{
	switch (verdict) {
	case QIRO_NUMBER:
		break;
	case QIRO_NOT_NUMBER:
		return "not a whole number, try again\n";
	case QIRO_OUT_OF_RANGE:
		snprintf(buf, QIRO_REASON_MAX,
			 "out of range, enter a whole number from %d to %d\n",
			 r.min, r.max);
		return buf;
	}
	return nullptr;
}

void qiro_say(FILE *err, const char *s)
{
	int fd = qiro_fileno(err);
	if (fd < 0)
		fputs(s, err);
	qiro_flush(err);
	if (fd < 0)
		return;
	/* Counted here, and kept from becoming a call to strlen: a prompt is
	 * short, and binding strlen costs a run more than counting does. */
	size_t n = 0;
	while (s[n]) {
		n++;
		__asm__("" : "+r"(n));
	}
	qiro_write(fd, s, n);
}

const char *qiro_last_line(const char *prompt)
{
	const char *nl = prompt ? strrchr(prompt, '\n') : nullptr;
	return nl ? nl + 1 : prompt ? prompt : "";
}

qiro_status qiro_ask(FILE *in, FILE *err, const char *prompt, qiro_range r,
		     int *value, qiro_seeking seeking)
{
	for (;;) {
		qiro_say(err, prompt ? prompt : "");

		qiro_parser p;
		qiro_status s = qiro_read_line(in, &p, seeking);
		if (s != QIRO_OK) {
			int e = errno;
			if (*qiro_last_line(prompt))
				qiro_say(err, "\n");
			errno = e;
			return s;
		}
		int got = 0;
		qiro_verdict v = qiro_parse_end(&p, &got);
		v = qiro_judge(v, got, r);
		char buf[QIRO_REASON_MAX];
		const char *reason = qiro_reason(v, r, buf);
		if (!reason) {
			*value = got;
			return QIRO_OK;
		}
		qiro_say(err, reason);
	}
}
