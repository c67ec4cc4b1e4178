#include <qiro.h>

#include <err.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include "edit.h"
#include "read.h"
#include "stdio_buffer.h"
#include "term.h"

#ifdef QIRO_HAVE_SINGLE_THREADED
#include <sys/single_threaded.h>
#define single_threaded() __libc_single_threaded
#else
/* The C library cannot tell: every call takes stdin's lock. */
#define single_threaded() false
#endif

/* The last call found the end of stdin; guarded by stdin's lock. */
static bool ended;

/*
 * An earlier call's end of input is not this one's at a terminal, where
 * the person may go on typing; a file or a pipe that gave a call its end
 * has no more to give, and nothing is asked. (Its end found by reading a
 * last line with no newline is not such a call's.)
 */
static qiro_status ask(const char *prompt, qiro_range r, int *value)
{
	/* Tested first: the tests are inline, a first call to clearerr is not. */
	if (feof_unlocked(stdin) || ferror_unlocked(stdin)) {
		if (ended && feof_unlocked(stdin) && !isatty(qiro_fileno(stdin)))
			return QIRO_EOF;
		clearerr_unlocked(stdin);
	}
	qiro_status s = qiro_can_edit(stdin, stderr)
				? qiro_edit(stdin, stderr, prompt, r, value)
				: qiro_ask(stdin, stderr, prompt, r, value,
					   QIRO_SEEK_IF_FILE);
	ended = s == QIRO_EOF;
	return s;
}

/* Callers take turns; a semaphore, not stdin's lock alone, so that a
 * caller waiting for its turn can be cancelled (sem_wait is a cancellation
 * point, flockfile is not). */
static sem_t turn;
static pthread_once_t turn_made = PTHREAD_ONCE_INIT;

static void free_turn(void)
{
	sem_init(&turn, 0, 1);
}

static void make_turn(void)
{
	free_turn();
	/* A child forked mid-call has no caller holding the turn. */
	pthread_atfork(nullptr, nullptr, free_turn);
}

static void give_turn(void *turn_taken)
{
	if (turn_taken)
		sem_post(&turn);
}

static void unlock_stdin(void *)
{
	funlockfile(stdin);
}

/* stdin held by the caller's own code, in its turn: waited for in a
 * way that can be cancelled, which flockfile cannot. */
static void lock_stdin(void)
{
	const struct timespec ms = {0, 1000000};
	while (ftrylockfile(stdin) != 0)
		nanosleep(&ms, nullptr);
}

/*
 * Holding stdin for the whole call gives each line whole to one caller.
 * A caller cancelled while it waits, for its turn, for stdin or for input,
 * lets go. A caller that holds stdin already (flockfile) has it for its
 * call, and the turn too if it is free: a caller waiting for the turn would
 * otherwise wait for stdin in its turn, which the caller never lets go.
 */
static qiro_status ask_in_turn(const char *prompt, qiro_range r, int *value)
{
	qiro_status s;
	bool held = ftrylockfile(stdin) == 0, turn_taken = true;

	pthread_once(&turn_made, make_turn);
	if (held) {
		turn_taken = sem_trywait(&turn) == 0;
	} else {
		while (sem_wait(&turn) != 0) {
			/* EINTR: a signal's handler ran */
		}
	}
	pthread_cleanup_push(give_turn, turn_taken ? &turn : nullptr);
	if (!held)
		lock_stdin();
	pthread_cleanup_push(unlock_stdin, nullptr);
	s = ask(prompt, r, value);
	pthread_cleanup_pop(1);
	pthread_cleanup_pop(1);
	return s;
}

/* qiro_ask_int, which get_int is too, for the whole range of int. */
static int ask_int(const char *prompt, int min, int max, int *value)
{
	if (min > max || !value) {
		errno = EINVAL;
		return -1;
	}
	/* Whatever the caller wrote belongs before the question. */
	qiro_flush(stdout);
	int got;
	qiro_range r = {min, max};
	/* With one thread there is no one to share stdin with. */
	switch (single_threaded() ? ask(prompt, r, &got)
				  : ask_in_turn(prompt, r, &got)) {
	case QIRO_OK:
		*value = got;
		return 0;
	case QIRO_EOF:
		return QIRO_END;
	case QIRO_ERROR:
		break;
	case QIRO_EXITING: /* stdin let go, for exit to flush */
		qiro_term_park();
	}
	return -1;
}

#define EXPORTED extern "C" __attribute__((visibility("default")))

EXPORTED int qiro_ask_int(const char *prompt, int min, int max,
			  int *value) noexcept
{
	return ask_int(prompt, min, max, value);
}

/* There is no number the user gave to return: the message goes on a line
 * of its own, as a prompt's was ended already. */
EXPORTED int get_int(const char *prompt) noexcept
{
	int value, r = ask_int(prompt, INT_MIN, INT_MAX, &value);
	if (r == 0)
		return value;
	int e = errno;
	if (!prompt || !*prompt)
		qiro_say(stderr, "\n");
	if (r == QIRO_END)
		errx(1, "end of input, no whole number given");
	errno = e;
	err(1, "read error");
}
