/*
 * get_int called as programs other than 1division call it, for
 * tests/terminal.py. argv[1] holds letters, each a way of calling:
 *   h  SIGINT and SIGQUIT handlers that say so and return
 *   x  a SIGINT handler that _exits
 *   i  ISIG off      e  ECHO off      a  alarm(1)     w  asks on a thread
 *   o  stdin non-blocking (O_NONBLOCK)   d  stdin reopened on /dev/tty
 *   u  stdin unbuffered    U  stdin with a buffer of the caller's own
 *   p  a prompt of 69 columns, P of 68   W  werase is Ctrl-T
 *   R  a SIGRTMIN handler that says so and returns; a thread raises
 *      SIGRTMIN when SIGUSR1 comes (from outside, under an emulator, a
 *      real-time signal may reach the program as another)
 *   b  the thread that asks blocks SIGINT
 *   r  SIGALRM every 20 ms, its handler without SA_RESTART
 *   c  a second thread asks meanwhile, and is cancelled waiting its turn
 *   n  "Number: " on stdout, then the prompt "", twice; then reads a line
 *      itself and prints it
 *   A  adds numbers from 1 to 10 (qiro_ask_int) until the end of input,
 *      then asks once more
 *   f  a thread forks a child that exits, and tells the terminal's mode
 *   l  holds stdin (flockfile) while a thread waits to ask, and asks;
 *      with c, cancels that thread first
 *   q  a second thread asks meanwhile, then the process exits (9), slowly
 *   Q  a thread calls quick_exit(8) while the call waits
 *   z  an atexit handler asks too ("bye: ")
 *   k  a thread saves SIGINT's disposition while the call waits, and it
 *      is put back after the call; then asks again
 *   t  a thread takes SIGUSR1 (exit(0)) and SIGUSR2 (tells SIGWINCH's
 *      disposition, sets a SIGINT handler of its own, and starts ls on
 *      /proc/self/fd with posix_spawn, which runs no fork handlers: it
 *      lists 0 1 2 and its own 3, nothing of ours);
 *      with s, SIGINT and SIGTERM too
 * Prints the answer and who holds SIGINT; exits 3 if the call left the
 * terminal's settings changed or set stderr's error indicator.
 */
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <qiro.h>

extern char **environ;

static const char *flags = "";
static int answer;
static char prompt[80], buffer[256];

static int has(char c)
{
	return strchr(flags, c) != NULL;
}

static void caught(int sig)
{
	struct termios t;
	(void)sig;
	tcgetattr(0, &t);
	if (write(2, t.c_lflag & ICANON ? "caught, canonical\n" : "caught\n",
		  t.c_lflag & ICANON ? 18 : 7) < 0)
		_exit(4);
}

static void late(int sig) { (void)sig; }
static void quit(int sig) { _exit(128 + sig); }
static void tick(int sig) { (void)sig; }

static void *ask(void *prompt)
{
	sigset_t set;
	sigemptyset(&set);
	sigaddset(&set, SIGINT);
	if (has('b'))
		pthread_sigmask(SIG_BLOCK, &set, NULL);
	answer = get_int(prompt);
	return NULL;
}

static void *take_signals(void *set)
{
	for (int sig;;) {
		sigwait(set, &sig);
		if (sig != SIGUSR2)
			exit(0);
		struct sigaction sa;
		sigaction(SIGWINCH, NULL, &sa);
		fprintf(stderr, "winch=%s\n",
			sa.sa_handler == SIG_DFL ? "default" : "taken");
		signal(SIGINT, late);
		char *ls[] = {"ls", "/proc/self/fd", NULL};
		pid_t pid;
		if (posix_spawnp(&pid, "ls", NULL, NULL, ls, environ) == 0)
			waitpid(pid, NULL, 0);
	}
}

static void *relay(void *set)
{
	int sig;
	sigwait(set, &sig);
	kill(getpid(), SIGRTMIN);
	return NULL;
}

static void *fork_one(void *unused)
{
	struct termios t;
	(void)unused;
	usleep(200000);
	if (fork() == 0)
		exit(0);
	wait(NULL);
	tcgetattr(0, &t);
	fputs(t.c_lflag & ICANON ? "forked, canonical\n" : "forked\n", stderr);
	return NULL;
}

static struct sigaction saved;

static void *quit_later(void *unused)
{
	(void)unused;
	usleep(400000);
	quick_exit(8);
}

static void nap(void)
{
	usleep(300000);
}

static void goodbye(void)
{
	fprintf(stderr, "bye %d\n", get_int("bye: "));
}

static void *save_int(void *unused)
{
	(void)unused;
	usleep(200000);
	sigaction(SIGINT, NULL, &saved);
	return NULL;
}

static void on(int sig, void (*handler)(int), int flags)
{
	struct sigaction sa = {0};
	sa.sa_handler = handler;
	sa.sa_flags = flags;
	sigaction(sig, &sa, NULL);
}

int main(int argc, char **argv)
{
	static sigset_t set;
	struct termios mine, before, after;
	pthread_t t, other;

	/* None but ours past stderr: a program started must see none. */
	for (int fd = 3; fd < 1024; fd++)
		close(fd);
	flags = argc > 1 ? argv[1] : "";
	tcgetattr(0, &mine);
	before = mine;
	before.c_lflag &= ~(tcflag_t)((has('i') ? ISIG : 0) | (has('e') ? ECHO : 0));
	if (has('W'))
		before.c_cc[VWERASE] = 0x14;
	tcsetattr(0, TCSANOW, &before);
	tcgetattr(0, &before);
	if (has('h') || has('x'))
		on(SIGINT, has('h') ? caught : quit, 0);
	if (has('h'))
		on(SIGQUIT, caught, 0);
	if (has('o'))
		fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
	if (has('d') && !freopen("/dev/tty", "r", stdin))
		return 4;
	if (has('u') || has('U'))
		setvbuf(stdin, has('u') ? NULL : buffer,
			has('u') ? _IONBF : _IOFBF, sizeof buffer);
	if (has('R')) {
		on(SIGRTMIN, caught, 0);
		sigemptyset(&set);
		sigaddset(&set, SIGUSR1);
		pthread_sigmask(SIG_BLOCK, &set, NULL);
		pthread_create(&other, NULL, relay, &set);
	}
	memset(prompt, 'p', sizeof prompt);
	strcpy(prompt + (has('P') ? 65 : has('p') ? 66 : 0), "x: ");
	if (has('a') || has('c'))
		alarm(has('a') ? 1 : 10); /* c: a caller that cannot be cancelled */
	if (has('r')) {
		struct itimerval every = {{0, 20000}, {0, 20000}};
		on(SIGALRM, tick, 0);
		setitimer(ITIMER_REAL, &every, NULL);
	}
	if (has('t')) {
		sigemptyset(&set);
		sigaddset(&set, SIGUSR1);
		sigaddset(&set, SIGUSR2);
		if (has('s')) {
			sigaddset(&set, SIGINT);
			sigaddset(&set, SIGTERM);
		}
		pthread_sigmask(SIG_BLOCK, &set, NULL);
		pthread_create(&t, NULL, take_signals, &set);
	}
	if (has('f'))
		pthread_create(&other, NULL, fork_one, NULL);
	if (has('Q'))
		pthread_create(&other, NULL, quit_later, NULL);
	if (has('z'))
		atexit(goodbye);
	if (has('q')) {
		atexit(nap); /* after the library's own: time for a turn */
		pthread_create(&t, NULL, ask, "x: ");
		usleep(100000);
		pthread_create(&other, NULL, ask, "b: ");
		usleep(400000);
		exit(9);
	}
	if (has('l')) {
		flockfile(stdin);
		pthread_create(&t, NULL, ask, "y: ");
		usleep(200000);
		if (has('c')) {
			pthread_cancel(t);
			pthread_join(t, NULL);
			fputs("let go\n", stderr);
		}
		ask("x: ");
		funlockfile(stdin);
		if (!has('c'))
			pthread_join(t, NULL);
	} else if (has('k')) {
		pthread_create(&t, NULL, save_int, NULL);
		ask("x: ");
		pthread_join(t, NULL);
		sigaction(SIGINT, &saved, NULL);
		ask("y: ");
	} else if (has('w') || has('c')) {
		pthread_create(&t, NULL, ask, "x: ");
		if (has('c')) {
			usleep(200000);
			pthread_create(&other, NULL, ask, "cancelled: ");
			usleep(200000);
			pthread_cancel(other);
			pthread_join(other, NULL);
			fputs("let go\n", stderr);
		}
		pthread_join(t, NULL);
	} else if (has('A')) {
		int n;
		while (qiro_ask_int("x: ", 1, 10, &n) == 0)
			answer += n;
		if (qiro_ask_int("again: ", 1, 10, &n) == 0)
			answer += n;
	} else if (has('n')) {
		char rest[64];
		for (int k = 0; k < 2; k++) {
			fputs("Number: ", stdout);
			ask("");
		}
		if (fgets(rest, sizeof rest, stdin))
			printf("rest=%s", rest);
	} else {
		ask(prompt);
	}

	struct sigaction sa;
	sigaction(SIGINT, NULL, &sa);
	tcgetattr(0, &after);
	printf("%d int=%s\n", answer, sa.sa_handler == caught ? "caught"
				      : sa.sa_handler == late ? "late"
				      : sa.sa_handler == SIG_DFL ? "default" : "?");
	int changed = before.c_iflag != after.c_iflag ||
		      before.c_oflag != after.c_oflag ||
		      before.c_cflag != after.c_cflag ||
		      before.c_lflag != after.c_lflag ||
		      memcmp(before.c_cc, after.c_cc, sizeof before.c_cc) != 0 ||
		      ferror(stderr);
	tcsetattr(0, TCSANOW, &mine);
	fcntl(0, F_SETFL, fcntl(0, F_GETFL) & ~O_NONBLOCK);
	return changed ? 3 : 0;
}
