/*
 * An input stream over bytes in memory, for tests and the fuzzer: its reads
 * come in pieces of at most piece bytes, fail with EIO once fail_at bytes
 * have been read, and it seeks exactly, not at all (like a pipe), says it
 * did without moving (like some devices), or tells where it is but cannot
 * move.
 */
#ifndef QIRO_SOURCE_H
#define QIRO_SOURCE_H

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

struct source {
	enum seeking { NONE, EXACT, LYING, TELL_ONLY };

	std::string data;
	size_t piece = SIZE_MAX;
	size_t fail_at = SIZE_MAX;
	seeking seek = NONE;
	size_t at = 0;

	static ssize_t read(void *cookie, char *buf, size_t n)
	{
		source *s = (source *)cookie;
		if (s->at >= s->fail_at) {
			errno = EIO;
			return -1;
		}
		n = std::min({n, s->piece, s->data.size() - s->at,
			      s->fail_at - s->at});
		memcpy(buf, s->data.data() + s->at, n);
		s->at += n;
		return (ssize_t)n;
	}

	static int seek_to(void *cookie, off64_t *offset, int whence)
	{
		source *s = (source *)cookie;
		off64_t to = *offset + (whence == SEEK_CUR   ? (off64_t)s->at
					: whence == SEEK_END ? (off64_t)s->data.size()
							     : 0);
		if (to < 0 || to > (off64_t)s->data.size() ||
		    (s->seek == TELL_ONLY && to != (off64_t)s->at))
			return -1;
		if (s->seek == EXACT)
			s->at = (size_t)to;
		*offset = to;
		return 0;
	}

	FILE *open()
	{
		cookie_io_functions_t io = {read, nullptr,
					    seek == NONE ? nullptr : seek_to,
					    nullptr};
		return fopencookie(this, "r", io);
	}
};

#endif
