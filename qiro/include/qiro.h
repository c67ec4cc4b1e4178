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
 * so the caller can go on reading the rest of it with stdio.
 *
 * When stdin and stderr are both terminals and TERM is set and not "dumb",
 * the line can be edited as it is typed: Left, Right, Home, End, Backspace,
 * Delete, Ctrl-A/E/B/F, Ctrl-U/K (cut to the start/end), Ctrl-W (cut a
 * word), Ctrl-L (redraw), Tab (a blank), and Up/Down or Ctrl-P/N through
 * the lines given at earlier prompts of the process. A line longer than
 * 4095 bytes is refused with a reason. The terminal's settings are changed
 * only while a call waits for keys, and are the caller's again when it
 * returns, and before the process stops (Ctrl-Z, SIGTSTP) or ends on
 * SIGINT, SIGQUIT, SIGTERM or SIGHUP whose disposition the caller left at
 * its default; after a stop the line is redrawn and nothing typed is
 * lost. Ctrl-C, Ctrl-\ and Ctrl-Z send their signals as the terminal
 * would. Any other input (a file, a pipe, a terminal with stderr
 * redirected) is read as it comes.
 *
 * At the end of input before a whole number is given (Ctrl-D on an empty
 * line at a terminal), or on a read error, get_int does not return: it
 * writes a newline and a one-line message to standard error and calls
 * exit(1). Each call starts afresh: an earlier call's end of input at a
 * terminal is not carried over.
 *
 * get_int may be called from any thread. A call holds stdin (flockfile)
 * from its first prompt to its answer, so each line goes whole to exactly
 * one caller and callers take turns; each prompt and each reason is
 * written whole, and stderr is not held while waiting for input. A thread
 * cancelled while it waits inside get_int lets go of stdin and gives the
 * terminal back. The history of earlier lines is shared, under stdin's
 * lock.
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

#undef QIRO_NOEXCEPT

#ifdef __cplusplus
}
#endif

#endif
