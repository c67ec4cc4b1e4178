/*
 * qiro: ask the user for a whole number.
 *
 * int get_int(const char *prompt);
 *
 * Flushes standard output, writes prompt to standard error as plain text
 * (never as a format; NULL shows nothing) and reads one line from stdin.
 * A line ends at '\n' or at the end of input. It is a whole number when it
 * is, in this order:
 *
 *     optional blanks (space or tab)
 *     an optional '+' or '-'
 *     one or more ASCII digits '0'-'9', leading zeros allowed
 *     optional blanks
 *     an optional '\r' just before the end of the line
 *
 * and its value lies in [INT_MIN, INT_MAX] (-2147483648 to 2147483647).
 * Any other line, including one holding a NUL byte, gets a one-line reason
 * on standard error (the line itself is never echoed), then the prompt is
 * shown again. The answers are the same under every locale, and memory use
 * does not grow with the length of a line.
 *
 * Input is read through stdio's stdin and never past the end of the line,
 * so the caller can go on reading the rest of it with stdio. A read cut
 * short by a signal's handler is made again, and a non-blocking stdin is
 * waited on: neither is an error, and nothing read is lost.
 *
 * When stdin and stderr are one terminal (either may be /dev/tty opened
 * anew), TERM is set and not "dumb", and the caller's settings are
 * canonical with echo, the line can be edited as it is typed: Left,
 * Right, Home, End, Backspace, Delete, Ctrl-A/E/B/F, Ctrl-U/K (cut to the
 * start/end), Ctrl-W (cut a word), Ctrl-D (delete; end of input on an
 * empty line), Ctrl-L (redraw), Tab (a blank), and Up/Down or Ctrl-P/N
 * through the lines given at earlier prompts of the process. The
 * terminal's own erase, kill, werase and eof keys (stty) come first, read
 * at each call: they act as Backspace, Ctrl-U, Ctrl-W and Ctrl-D, and the
 * end of input is eof's alone (none after stty eof undef). The row
 * shows what Enter takes: the whole line where it fits, else a window
 * around the cursor with < and > at hidden ends; characters take the
 * columns terminals give them (wide characters two, combining marks none,
 * whatever the locale), bytes that are not UTF-8 show as '?', and escape
 * sequences in the prompt take none. Text before the first prompt on its
 * row is kept where a number still fits after the prompt: the terminal is
 * asked where its cursor is (ESC [6n) only once the line is wider than a
 * number or the prompt leaves it less room, at most once a call, and not
 * again in a process whose terminal did not answer. A line
 * longer than 4095 bytes at Enter is refused with a reason. Any other
 * input (a file, a pipe, stderr elsewhere, echo turned off) is read as it
 * comes.
 *
 * The editor leaves the caller as it found it:
 * - The terminal's settings change only while a call waits for keys, and
 *   only in the terminal's foreground, where alone it is written to: a
 *   call in the background is stopped by SIGTTIN (or fails where SIGTTIN
 *   is ignored), as any reader there is, and draws its row again when
 *   back in front. They are read afresh each time, so a change made while
 *   the process was stopped stays.
 * - They are the caller's again when the call returns, when the process
 *   exits (exit from any thread, a return from main: a call waiting on
 *   another thread lets go of stdin, which exit flushes, and does not
 *   return), and while any
 *   signal whose default ends or stops the process takes its course: the
 *   library's handler gives the terminal back, then passes the signal on,
 *   on the same thread, to the caller's disposition. The caller's handler
 *   so runs with the caller's settings; if the process goes on, the
 *   editor takes its mode again and redraws the line. Ctrl-C, Ctrl-\ and
 *   Ctrl-Z are the terminal's own keys (intr, quit, susp), whose signals
 *   it sends to the foreground process group; the line is dropped after
 *   Ctrl-C and Ctrl-\, as the terminal drops its own. A handler of the
 *   caller's that returns does not end the wait, with SA_RESTART or not.
 * - A signal the calling thread blocks stays blocked there and goes where
 *   it would have gone (a thread in sigwait still takes it); where another
 *   thread takes it, the handler above runs there.
 * - Left alone: signals the caller ignores, signals whose default is to
 *   be ignored (SIGWINCH: the width is read
 *   when the line is drawn), and the caller's handlers for SIGSEGV,
 *   SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGPROF, SIGVTALRM and the
 *   real-time signals, which may need where or exactly when the signal
 *   struck: those run in the editor's mode. A disposition is given back
 *   when the call returns, unless another was set meanwhile.
 * - Only SIGKILL and SIGSTOP, which cannot be caught, or _exit or exec
 *   from another thread, can leave the terminal in the editor's mode.
 *   Nothing typed ahead is lost. A child forked meanwhile has no call:
 *   its exit leaves the terminal to the parent's.
 * - The library's descriptors are close-on-exec, and closed when the call
 *   returns or is cancelled. What it writes to stderr is written whole,
 *   and never sets stderr's error indicator. It leaves no heap memory
 *   behind, whatever the input.
 *
 * At the end of input before a whole number is given (Ctrl-D on an empty
 * line at a terminal), or on a read error, get_int does not return: it
 * writes a newline and a one-line message to standard error and calls
 * exit(1). Each call at a terminal starts afresh: an earlier call's end of
 * input there is not carried over. A file or a pipe that gave a call its
 * end of input has no more to give: a call then asks nothing.
 *
 * int qiro_ask_int(const char *prompt, int min, int max, int *value);
 *
 * Asks as get_int does, but takes only a whole number from min to max:
 * another is refused with "out of range, enter a whole number from MIN to
 * MAX" and asked again. It returns 0 with the number in *value; QIRO_END
 * at the end of input, *value untouched, having written only a newline
 * to standard error after a prompt (none for a NULL or empty one, or one
 * that ends with a newline); -1 with errno set on a read error, or with
 * EINVAL, before anything is written or read, for min > max or a null
 * value. A signal's handler that returns does not end the wait: to stop
 * waiting, cancel the thread. get_int(prompt) is qiro_ask_int(prompt,
 * INT_MIN, INT_MAX, &n) with exit(1) for the rest.
 *
 * Both may be called from any thread. A call holds stdin (flockfile)
 * from its first prompt to its answer, so each line goes whole to exactly
 * one caller and callers take turns; each prompt and each reason is
 * written whole, and stderr is not held while waiting for input. A caller
 * that holds stdin itself may call them while others wait their turn.
 * A thread cancelled while it waits inside a call, for its turn, for
 * stdin or for input, lets go of stdin and gives the terminal back. The
 * history of earlier lines is shared, under stdin's lock. A signal's
 * handler may call neither, and must return or end the process (not jump
 * out of a call).
 */
#ifndef QIRO_H
#define QIRO_H

#if defined(__cplusplus) && __cplusplus >= 201103L
#define QIRO_NOEXCEPT noexcept
#elif defined(__cplusplus)
#define QIRO_NOEXCEPT throw()
#else
#define QIRO_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

int get_int(const char *prompt) QIRO_NOEXCEPT;

/* What qiro_ask_int returns at the end of input. */
#define QIRO_END 1

int qiro_ask_int(const char *prompt, int min, int max,
		 int *value) QIRO_NOEXCEPT;

#undef QIRO_NOEXCEPT

#ifdef __cplusplus
}
#endif

#endif
