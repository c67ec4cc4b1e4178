#include <qiro.h>

#include <cerrno>
#include <cstdio>
#include <err.h>

#include "read.h"

extern "C" __attribute__((visibility("default"))) int
get_int(const char *prompt) noexcept
{
	int value;

	/* Whatever the caller wrote belongs before the question. */
	fflush(stdout);
	qiro_status s = qiro_ask(stdin, stderr, prompt, &value);
	if (s == QIRO_OK)
		return value;

	/* There is no number the user gave to return. */
	int e = errno;
	fputc('\n', stderr);
	if (s == QIRO_END)
		errx(1, "end of input, no whole number given");
	errno = e;
	err(1, "read error");
}
