/*
 * get_int and qiro_ask_int, from the shared library, on the process's own
 * stdin: from several threads, at its end, with bad arguments, and from a
 * stream that only claims to seek (a cancelled caller is tried by
 * cancel.c). Each case runs in a child process
 * of its own (a death test), with stdin set up there; it must exit 0 and
 * write nothing to stderr.
 */
#include <gtest/gtest.h>

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include <qiro.h>

#include "source.h"

namespace {

const int per_thread = 2000;

/* Line n is n after leading zeros: most lines cross the reader's first
 * piece, every tenth crosses its larger pieces too. */
std::string numbered_lines(int count)
{
	std::string s;
	for (int n = 0; n < count; n++)
		s += std::string(n % 10 ? 60 : 5000, '0') + std::to_string(n) + "\n";
	return s;
}

/* Every other call through qiro_ask_int, which takes turns as get_int. */
void *ask_many(void *got)
{
	for (int k = 0; k < per_thread; k++) {
		int n = -1;
		if (k % 2)
			n = get_int(nullptr);
		else
			qiro_ask_int(nullptr, INT_MIN, INT_MAX, &n);
		((std::vector<int> *)got)->push_back(n);
	}
	return nullptr;
}

/* Exits 0 when two threads between them got every number once. */
void two_callers()
{
	alarm(60); /* a lost line would leave a caller waiting */
	std::vector<int> got[2];
	pthread_t t[2];
	for (int i = 0; i < 2; i++)
		pthread_create(&t[i], nullptr, ask_many, &got[i]);
	for (int i = 0; i < 2; i++)
		pthread_join(t[i], nullptr);

	got[0].insert(got[0].end(), got[1].begin(), got[1].end());
	std::sort(got[0].begin(), got[0].end());
	std::vector<int> all(2 * per_thread);
	std::iota(all.begin(), all.end(), 0);
	_exit(got[0] == all ? 0 : 3);
}

/* stdin reads input from a regular file. */
void from_file(const std::string &input)
{
	FILE *f = tmpfile();
	fwrite(input.data(), 1, input.size(), f);
	fflush(f);
	if (dup2(fileno(f), 0) != 0 || lseek(0, 0, SEEK_SET) != 0)
		_exit(4);
}

/* stdin reads input from a pipe, written by another process. */
void from_pipe(const std::string &input)
{
	int fd[2];
	if (pipe(fd) != 0)
		_exit(4);
	if (fork() == 0) { /* with no read end, so that it ends with the reader */
		close(fd[0]);
		ssize_t n = write(fd[1], input.data(), input.size());
		_exit(n == (ssize_t)input.size() ? 0 : 1);
	}
	if (dup2(fd[0], 0) != 0)
		_exit(4);
	close(fd[0]);
	close(fd[1]);
}

TEST(Threads, EachLineGoesWholeToOneCaller)
{
	const std::string input = numbered_lines(2 * per_thread);
	EXPECT_EXIT((from_file(input), two_callers()),
		    testing::ExitedWithCode(0), "^$")
		<< "from a file";
	EXPECT_EXIT((from_pipe(input), two_callers()),
		    testing::ExitedWithCode(0), "^$")
		<< "from a pipe";
}

/*
 * qiro_ask_int's calls in turn on stdin from a pipe (or closed, with no
 * input): what each returns, with *value after it, or errno where it
 * returns -1; and all that stderr shows, a regex.
 */
struct Call {
	const char *prompt;
	int min, max;
	bool no_value;
	int returns, out;
};

struct Calls {
	const char *input;
	std::vector<Call> calls;
	const char *said;
};

const Calls calls[] = {
	/* bad arguments write and read nothing; the end: a newline after the
	 * prompt, *value untouched, and no more asked */
	{"5\n",
	 {{"a: ", 2, 1, false, -1, EINVAL}, {"b: ", 1, 2, true, -1, EINVAL},
	  {nullptr, 5, 5, false, 0, 5}, {"n: ", 1, 2, false, QIRO_END, 5},
	  {"n: ", 1, 2, false, QIRO_END, 5}},
	 "^n: \n$"},
	{nullptr, {{"n: ", INT_MIN, INT_MAX, false, -1, EBADF}}, "^n: \n$"},
	{"", {{nullptr, 1, 2, false, QIRO_END, 0}}, "^$"}, /* no prompt to end */
};

void call_in_turn(const Calls &c)
{
	int value = 0;
	for (const Call &call : c.calls) {
		int r = qiro_ask_int(call.prompt, call.min, call.max,
				     call.no_value ? nullptr : &value);
		if (r != call.returns || (r == -1 ? errno : value) != call.out)
			_exit(3);
	}
	_exit(0);
}

TEST(AskInt, Calls)
{
	for (const Calls &c : calls)
		EXPECT_EXIT((c.input ? from_pipe(c.input) : (void)close(0),
			     call_in_turn(c)),
			    testing::ExitedWithCode(0), c.said)
			<< (c.input ? c.input : "closed");
	/* get_int's message on a line of its own, with no prompt too */
	EXPECT_EXIT((from_pipe(""), get_int(nullptr)), testing::ExitedWithCode(1),
		    "^\n[^\n]*: end of input, no whole number given\n$");
}

/* Only a regular file is trusted to seek: nothing after a long line is lost
 * where a seek reports success without moving. */
void stdin_seeks_without_moving()
{
	static source src = {std::string(5000, '0') + "7\n8\n", SIZE_MAX,
			     SIZE_MAX, source::LYING};
	stdin = src.open();
	int x = get_int(nullptr);
	int y = get_int(nullptr);
	_exit(x == 7 && y == 8 ? 0 : 3);
}

/* An unbuffered stdin is read no further than the line: what follows is
 * still the descriptor's, after a long line too. */
void unbuffered_stays()
{
	char rest[3] = {};
	setvbuf(stdin, nullptr, _IONBF, 0);
	bool ok = get_int(nullptr) == 7 && read(0, rest, 2) == 2 &&
		  rest == std::string("8\n");
	_exit(ok ? 0 : 3);
}

TEST(GetInt, ReadsNoFurtherThanItMay)
{
	EXPECT_EXIT(stdin_seeks_without_moving(), testing::ExitedWithCode(0),
		    "^$");
	EXPECT_EXIT((from_pipe(std::string(5000, '0') + "7\n8\n"),
		     unbuffered_stays()),
		    testing::ExitedWithCode(0), "^$");
}

} // namespace
