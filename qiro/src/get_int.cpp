#include <qiro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "read.h"

extern "C" __attribute__((visibility("default"))) int
get_int(const char *prompt) noexcept
{
	int value;

	/* Whatever the caller wrote belongs before the question. */
	fflush(stdout);
	switch (qiro_ask(stdin, stderr, prompt, &value)) {
	case QIRO_OK:
		return value;
	case QIRO_END:
		fprintf(stderr, "\n%s: end of input, no whole number given\n",
			program_invocation_short_name);
		break;
	case QIRO_ERROR:
		fprintf(stderr, "\n%s: read error: %s\n",
			program_invocation_short_name, strerror(errno));
		break;
	}
	/* There is no number the user gave to return. */
	exit(1);
}
