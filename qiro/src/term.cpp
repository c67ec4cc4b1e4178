/*
 * The terminal a call edits at. The editor's mode is entered in one place
 * (enter) and left in one place (leave), under a lock that the signal
 * handler takes too, on whatever thread it runs. What is kept:
 *
 * - Only the terminal's foreground touches it: a call in the background
 *   waits as any reader there does (stopped by SIGTTIN), and never writes
 *   the terminal's settings. They are read afresh each time the mode is
 *   entered, so a change made while the process was stopped stays.
 * - The caller's settings are in place when the process exits, and while
 *   a signal whose default ends or stops the process takes its course:
 *   the library's handler gives the terminal back, passes the signal on to
 *   the caller's disposition on the same thread, and takes the terminal
 *   again if the process goes on.
 * - Nothing of the library's outlives a call: a disposition is given back
 *   where its handler is still in place, and its pipe is close-on-exec
 *   from the start and closed at the end.
 */
#include "term.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <ucontext.h>
#include <unistd.h>

#include "stdio_buffer.h"

#define LOAD(x) __atomic_load_n(&(x), __ATOMIC_SEQ_CST)

/* Signals whose default ends or stops the process; the real-time ones too. */
static const int ending[] = {
	SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE,
	SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ,
	SIGVTALRM, SIGPROF, SIGIO, SIGSYS, SIGTSTP, SIGTTIN, SIGTTOU,
#ifdef SIGSTKFLT
	SIGSTKFLT,
#endif
#ifdef SIGPWR
	SIGPWR,
#endif
};

/*
 * The call in progress, shared with the handler. Each field is changed
 * only under lock, but for redraw, which the call takes atomically.
 */
static struct {
	int lock;
	int in, out;			/* the terminal, read and written */
	struct termios saved;		/* the caller's settings, as last read */
	struct termios mode;		/* the editor's, as last set */
	int on;				/* the editor's mode is set */
	int active;			/* a call is in progress */
	int exiting;			/* the process is exiting, on exiter */
	int late;			/* the call began while it was */
	int parked;			/* the call has let go of stdin for it */
	pthread_t owner, exiter;	/* the thread of the call, of the exit */
	int handling;			/* handlers passing a signal on */
	int redraw;			/* the row was lost since the call looked */
	int wake, woken;		/* the wake-up pipe's ends */
	struct sigaction old[NSIG];	/* the caller's dispositions */
	bool mine[NSIG];
} tty;

/* With every signal blocked on this thread, so that a handler never waits
 * for a lock its own thread holds. */
static void lock(sigset_t *mask)
{
	sigset_t all;
	sigfillset(&all);
	pthread_sigmask(SIG_SETMASK, &all, mask);
	while (__atomic_exchange_n(&tty.lock, 1, __ATOMIC_ACQUIRE))
		sched_yield();
}

static void unlock(const sigset_t *mask)
{
	__atomic_store_n(&tty.lock, 0, __ATOMIC_RELEASE);
	pthread_sigmask(SIG_SETMASK, mask, nullptr);
}

/* Not this process's controlling terminal, or no job in front: no job
 * control to respect. */
static bool foreground(void)
{
	pid_t group = tcgetpgrp(tty.in);
	return group <= 0 || group == getpgrp();
}

static bool set_mode(const struct termios *t)
{
	while (tcsetattr(tty.in, TCSANOW, t) != 0)
		if (errno != EINTR)
			return false;
	return true;
}

/* The editor's mode still on the terminal: never another job's, which
 * sets its own. */
static bool ours(const struct termios *now)
{
	const struct termios *m = &tty.mode;
	return now->c_iflag == m->c_iflag && now->c_oflag == m->c_oflag &&
	       now->c_lflag == m->c_lflag && now->c_cc[VMIN] == m->c_cc[VMIN] &&
	       now->c_cc[VTIME] == m->c_cc[VTIME];
}

/*
 * The editor's mode, from the caller's settings as they are now: keys one
 * at a time, not echoed, and not turned into signals, so that the editor
 * sees where in the line they come (qiro_term_keys); the rest
 * stays.
 * TCSANOW keeps what was typed ahead. Not while a handler passes a signal
 * on: that runs with the caller's settings; nor once the process exits,
 * but for a call made then (by an atexit handler).
 */
static bool enter_locked(void)
{
	if (tty.on || !tty.active || tty.handling ||
	    (tty.exiting && !tty.late) || !foreground())
		return true;
	if (tcgetattr(tty.in, &tty.saved) != 0)
		return false;
	tty.mode = tty.saved;
	tty.mode.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ISIG | IEXTEN);
	tty.mode.c_cc[VMIN] = 1;
	tty.mode.c_cc[VTIME] = 0;
	tty.on = set_mode(&tty.mode);
	return tty.on;
}

/*
 * In the background the settings are another job's now: left alone, but
 * where they are still the editor's mode, which no job that took the
 * terminal without a stop of ours has changed (SIGTTOU is blocked here).
 */
static void leave_locked(void)
{
	struct termios now;
	if (tty.on && (foreground() ||
		       (tcgetattr(tty.in, &now) == 0 && ours(&now))))
		set_mode(&tty.saved);
	tty.on = 0;
}

static void wake_locked(void)
{
	if (tty.wake >= 0 && write(tty.wake, "", 1) < 0) {
		/* full: the call is woken already */
	}
}

void qiro_write(int fd, const void *s, size_t n)
{
	const char *c = (const char *)s;
	while (n > 0) {
		ssize_t k = write(fd, c, n);
		if (k > 0) {
			c += k;
			n -= (size_t)k;
		} else if (k < 0 && errno == EAGAIN) {
			struct pollfd p = {fd, POLLOUT, 0};
			poll(&p, 1, -1);
		} else if (k == 0 || errno != EINTR) {
			return;
		}
	}
}

/* Nothing from the background, where the terminal is another job's: the
 * row is drawn again once the process is back in front. */
bool qiro_term_write(const void *s, size_t n)
{
	if (!foreground()) {
		__atomic_store_n(&tty.redraw, 1, __ATOMIC_SEQ_CST);
		return false;
	}
	qiro_write(tty.out, s, n);
	return true;
}

/*
 * A handler of the caller's is passed a signal, but for those whose
 * handler may need where the signal struck or exactly when: a fault, a
 * profiling timer, a real-time signal. Those run in the editor's mode.
 */
static bool passes_on(int sig, const struct sigaction *sa)
{
	if (sa->sa_handler == SIG_IGN)
		return false;
	if (sa->sa_handler == SIG_DFL)
		return true;
	switch (sig) {
	case SIGSEGV: case SIGBUS: case SIGILL: case SIGFPE: case SIGTRAP:
	case SIGSYS: case SIGPROF: case SIGVTALRM:
		return false;
	}
	return sig < SIGRTMIN;
}

static void on_signal(int sig, siginfo_t *info, void *context);

/* Calls interrupted on other threads restart as the caller's disposition
 * has them restart (a stop with no handler restarts them); a handler runs
 * on the stack the caller chose. */
static struct sigaction ours(const struct sigaction *old)
{
	struct sigaction sa = {};
	sa.sa_sigaction = on_signal;
	sa.sa_flags = SA_SIGINFO |
		      (old->sa_handler == SIG_DFL
			       ? SA_RESTART
			       : old->sa_flags & (SA_RESTART | SA_ONSTACK));
	sigfillset(&sa.sa_mask);
	return sa;
}

static bool is_ours(const struct sigaction *sa)
{
	return (sa->sa_flags & SA_SIGINFO) && sa->sa_sigaction == on_signal;
}

/*
 * Stands in for sig's disposition as it is now. Ours already (another
 * thread's handler took it again first, or a caller saved ours and put it
 * back after a call), the caller's stays as last recorded: passing a
 * signal on to ourselves would never end.
 */
static void take_locked(int sig)
{
	struct sigaction now, sa;
	if (sigaction(sig, nullptr, &now) != 0)
		return;
	if (is_ours(&now)) {
		tty.mine[sig] = true;
		return;
	}
	tty.mine[sig] = false;
	if (!passes_on(sig, &now))
		return;
	sa = ours(&now);
	tty.old[sig] = now;
	tty.mine[sig] = sigaction(sig, &sa, nullptr) == 0;
}

/* Unless another thread set a disposition of its own since. */
static void give_back(int sig)
{
	struct sigaction now;
	if (!tty.mine[sig] || sigaction(sig, &tty.old[sig], &now) != 0)
		return;
	if (!is_ours(&now))
		sigaction(sig, &now, nullptr);
}

/*
 * The signal again, to this thread only, with its first siginfo (so a
 * handler sees who sent it), delivered under the mask it struck.
 */
static void pass_on(int sig, siginfo_t *info, const sigset_t *struck)
{
	sigset_t mask;
	if (syscall(SYS_rt_tgsigqueueinfo, getpid(), syscall(SYS_gettid), sig,
		    info) != 0)
		raise(sig);
	pthread_sigmask(SIG_SETMASK, struck, &mask);
	pthread_sigmask(SIG_SETMASK, &mask, nullptr);
}

/*
 * The terminal goes back to the caller's settings, then the caller's
 * disposition takes the signal on this thread: its handler runs, or the
 * process stops or ends. If the process goes on, the editor's mode is
 * taken again, from the settings as they are then, and the call redraws.
 */
static void on_signal(int sig, siginfo_t *info, void *context)
{
	int e = errno;
	sigset_t mask;

	lock(&mask);
	tty.handling++;
	leave_locked();
	struct sigaction old = tty.old[sig];
	unlock(&mask);

	sigaction(sig, &old, nullptr);
	pass_on(sig, info, &((ucontext_t *)context)->uc_sigmask);

	lock(&mask);
	if (tty.active && tty.mine[sig])
		take_locked(sig);
	tty.handling--;
	enter_locked();
	__atomic_store_n(&tty.redraw, 1, __ATOMIC_SEQ_CST);
	wake_locked();
	unlock(&mask);
	errno = e;
}

/*
 * exit from any thread, or a return from main, while a call waits. exit
 * goes on to flush every stream, taking its lock (glibc 2.41 on), stdin's
 * too, which the call holds: a call on another thread lets go of it first,
 * and waits there for the end (qiro_term_park).
 */
static void at_exit(void)
{
	sigset_t mask;
	lock(&mask);
	tty.exiter = pthread_self();
	__atomic_store_n(&tty.exiting, 1, __ATOMIC_SEQ_CST);
	leave_locked();
	bool other = tty.active && !pthread_equal(tty.owner, tty.exiter);
	wake_locked();
	unlock(&mask);
	const struct timespec ms = {0, 1000000};
	for (int i = 0; other && i < 1000 && !LOAD(tty.parked); i++)
		nanosleep(&ms, nullptr);
}

void qiro_term_park(void)
{
	__atomic_store_n(&tty.parked, 1, __ATOMIC_SEQ_CST);
	for (;;)
		pause();
}

/*
 * A child forked while a call waits has no call: what it does, exit
 * included, leaves the terminal to the parent's call, and the pipe's ends
 * are not its to hold.
 */
static void in_child(void)
{
	if (tty.active) {
		close(tty.wake);
		close(tty.woken);
	}
	tty.lock = tty.on = tty.active = tty.handling = 0;
	tty.wake = tty.woken = -1;
}

/* A read of nothing stops a process in the background (SIGTTIN), as any
 * read would, or fails where SIGTTIN is ignored or blocked. */
static bool wait_foreground(void)
{
	char c;
	while (!foreground())
		if (read(tty.in, &c, 0) < 0 && errno != EINTR)
			return false;
	return true;
}

/* The device of a descriptor, as major << 32 | minor. statx through
 * syscall, not fstat: see read.cpp. */
static bool device(int fd, unsigned long long *dev)
{
#ifdef QIRO_HAVE_STATX
	struct statx st;
	if (syscall(SYS_statx, fd, "", AT_EMPTY_PATH, STATX_TYPE, &st) != 0)
		return false;
	*dev = (unsigned long long)st.stx_rdev_major << 32 | st.stx_rdev_minor;
#else
	struct stat st;
	if (fstat(fd, &st) != 0)
		return false;
	*dev = (unsigned long long)major(st.st_rdev) << 32 | minor(st.st_rdev);
#endif
	return true;
}

/* Linux's /dev/tty, and the master side of any pseudo-terminal. */
static const unsigned long long DEV_TTY = 5ULL << 32, PTMX = DEV_TTY | 2;

/*
 * One terminal: the same device, or /dev/tty and the process's controlling
 * terminal, which /dev/tty is whatever its device number (or any two names
 * of it, where devices cannot be told). Never a pseudo-terminal's master,
 * where no one types, and which tcgetsid takes for its other side.
 */
bool qiro_term_usable(FILE *in, FILE *err)
{
	int i = qiro_fileno(in), o = qiro_fileno(err);
	unsigned long long a = 0, b = 0;
	if (!isatty(i) || !isatty(o))
		return false;
	bool known = device(i, &a) && device(o, &b);
	if (a == PTMX || b == PTMX)
		return false;
	if (!known || a != b) {
		pid_t session = tcgetsid(i);
		if ((known && a != DEV_TTY && b != DEV_TTY) || session < 0 ||
		    session != tcgetsid(o))
			return false;
	}
	const char *term = getenv("TERM");
	return term && *term && strcmp(term, "dumb") != 0;
}

qiro_term_start qiro_term_begin(FILE *in, FILE *err)
{
	static int hooked;
	struct termios t;
	int p[2];
	sigset_t mask;

	/* Exiting on another thread: a call now would hold stdin from exit. */
	if (LOAD(tty.exiting) && !pthread_equal(tty.exiter, pthread_self()))
		return QIRO_TERM_EXIT;
	tty.in = qiro_fileno(in);
	tty.out = qiro_fileno(err);
	if (!wait_foreground())
		return QIRO_TERM_FAILED;
	/* A caller that hides what is typed, or reads it raw, has its way. */
	if (tcgetattr(tty.in, &t) != 0 ||
	    (t.c_lflag & (ICANON | ECHO)) != (ICANON | ECHO))
		return QIRO_TERM_PLAIN;
	/* pipe2 through syscall: see read.cpp on symbol versions. */
	if (syscall(SYS_pipe2, p, O_CLOEXEC | O_NONBLOCK) != 0)
		return QIRO_TERM_PLAIN;
	if (!__atomic_exchange_n(&hooked, 1, __ATOMIC_SEQ_CST)) {
		atexit(at_exit);
		at_quick_exit(at_exit);
		pthread_atfork(nullptr, nullptr, in_child);
	}

	lock(&mask);
	tty.woken = p[0];
	tty.wake = p[1];
	tty.active = 1;
	tty.owner = pthread_self();
	tty.late = tty.exiting; /* an atexit handler's call */
	tty.redraw = 0;
	/* Those the calling thread blocks too: another thread may take
	 * them. One that waits for them (sigwait) still gets them. */
	memset(tty.mine, 0, sizeof tty.mine);
	for (int sig : ending)
		take_locked(sig);
	for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
		take_locked(sig);
	bool ok = enter_locked();
	unlock(&mask);
	if (!ok) {
		int e = errno;
		qiro_term_end(nullptr);
		errno = e;
		return QIRO_TERM_FAILED;
	}
	return QIRO_TERM_EDIT;
}

void qiro_term_end(void *)
{
	int e = errno;
	sigset_t mask;
	lock(&mask);
	leave_locked();
	tty.active = 0;
	int wake = tty.wake;
	tty.wake = -1;
	unlock(&mask);
	for (int sig : ending)
		give_back(sig);
	for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
		give_back(sig);
	if (wake >= 0) {
		close(wake);
		close(tty.woken);
	}
	errno = e;
}

bool qiro_term_buffered(FILE *in)
{
	size_t n;
	return qiro_buffered(in, &n) != nullptr;
}

static void drain(void)
{
	char bytes[16];
	while (read(tty.woken, bytes, sizeof bytes) > 0) {
	}
}

int qiro_term_wait(FILE *in, int timeout)
{
	for (;;) {
		if (!LOAD(tty.active)) { /* a child forked by a handler */
			errno = EIO;
			return QIRO_TERM_FAILED_WAIT;
		}
		if (LOAD(tty.exiting) && !tty.late)
			return QIRO_TERM_EXITING;
		if (!LOAD(tty.on) && !LOAD(tty.handling)) {
			sigset_t mask;
			if (!wait_foreground())
				return QIRO_TERM_FAILED_WAIT;
			lock(&mask);
			bool ok = enter_locked();
			unlock(&mask);
			if (!ok)
				return QIRO_TERM_FAILED_WAIT;
			continue;
		}
		if (__atomic_exchange_n(&tty.redraw, 0, __ATOMIC_SEQ_CST)) {
			drain();
			return QIRO_TERM_REDRAW;
		}
		if (qiro_term_buffered(in))
			return QIRO_TERM_READY;
		/* Keys are read in the editor's mode only. */
		bool keys = LOAD(tty.on);
		struct pollfd p[2] = {{tty.woken, POLLIN, 0}, {tty.in, POLLIN, 0}};
		int n = poll(p, keys ? 2 : 1, timeout);
		if (n == 0)
			return QIRO_TERM_TIMEOUT;
		if (n < 0 && errno != EINTR)
			return QIRO_TERM_FAILED_WAIT;
		if (p[0].revents)
			drain();
		if (keys && p[1].revents)
			return QIRO_TERM_READY;
	}
}

void qiro_term_keys(unsigned char keys[QIRO_KEYS])
{
	static const int cc[QIRO_KEYS] = {VINTR, VQUIT, VSUSP, VERASE, VKILL,
					  VWERASE, VEOF};
	sigset_t mask;
	lock(&mask);
	struct termios t = tty.saved;
	unlock(&mask);
	for (int k = 0; k < QIRO_KEYS; k++) {
		bool on = k <= QIRO_KEY_SUSP	 ? t.c_lflag & ISIG
			  : k == QIRO_KEY_WERASE ? t.c_lflag & IEXTEN
						 : true;
		keys[k] = on && t.c_cc[cc[k]] != _POSIX_VDISABLE ? t.c_cc[cc[k]] : 0;
	}
}

size_t qiro_term_unread(void)
{
	int n;
	return ioctl(tty.in, FIONREAD, &n) == 0 && n >= 0 ? (size_t)n : 1;
}

void qiro_term_send(int sig, int c)
{
	sigset_t mask;
	lock(&mask);
	tcflag_t lflag = tty.saved.c_lflag;
	unlock(&mask);
	if ((lflag & (ECHO | ECHOCTL)) == (ECHO | ECHOCTL)) {
		char echo[2] = {'^', (char)(c ^ 0x40)};
		qiro_term_write(echo, 2);
	}
	pid_t group = tcgetpgrp(tty.in);
	kill(group > 0 ? -group : 0, sig);
}

void qiro_term_drawn(void)
{
	__atomic_store_n(&tty.redraw, 0, __ATOMIC_SEQ_CST);
}

size_t qiro_term_width(void)
{
	struct winsize ws;
	if (ioctl(tty.out, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
		return ws.ws_col;
	return 80;
}
