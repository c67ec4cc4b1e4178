#include <qiro.h>

#include <cerrno>
#include <cstdio>
#include <err.h>
#include <pthread.h>
#include <sys/single_threaded.h>

#include "read.h"

static qiro_status ask(const char *prompt, int *value)
{
	return qiro_ask(stdin, stderr, prompt, value, QIRO_SEEK_IF_FILE);
}

static void unlock(void *stream)
{
	funlockfile((FILE *)stream);
}

/*
 * Holding stdin for the whole call gives each line whole to one caller.
 * A caller cancelled while it waits for input lets go of it.
 */
static qiro_status ask_locked(const char *prompt, int *value)
{
	qiro_status s;

	flockfile(stdin);
	pthread_cleanup_push(unlock, stdin);
	s = ask(prompt, value);
	pthread_cleanup_pop(1);
	return s;
}

extern "C" __attribute__((visibility("default"))) int
get_int(const char *prompt) noexcept
{
	int value;

	/* Whatever the caller wrote belongs before the question. */
	fflush(stdout);
	/* With one thread there is no one to share stdin with. */
	qiro_status s = __libc_single_threaded ? ask(prompt, &value)
					       : ask_locked(prompt, &value);
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
