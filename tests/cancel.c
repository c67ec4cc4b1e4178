/*
 * A caller cancelled while it waits in get_int lets go of stdin, and the
 * next call gets the next line. In C, so that nothing but the library could
 * bring a C++ runtime into the process: glibc's cancellation must unwind
 * with its own unwinder. Exits 0 when all is well.
 */
#include <pthread.h>
#include <stdio.h>
#include <unistd.h>

#include <qiro.h>

static void *ask_once(void *unused)
{
	(void)unused;
	get_int(NULL);
	return NULL;
}

int main(void)
{
	int fd[2];
	pthread_t t;

	if (pipe(fd) != 0 || dup2(fd[0], 0) != 0)
		return 4;
	/* Nothing for get_int to flush: its first wait is then the read. */
	fflush(stdout);
	alarm(10);
	pthread_create(&t, NULL, ask_once, NULL);
	pthread_cancel(t);
	pthread_join(t, NULL);
	if (write(fd[1], "5\n", 2) != 2)
		return 4;
	return get_int(NULL) == 5 ? 0 : 3;
}
