/*
 * peak_rss [-r READS] FILE COMMAND [ARG...]: runs COMMAND and writes its
 * peak resident set size in KiB to FILE, and with -r, the read calls it
 * made (its children's too) to READS. A child's peak keeps that of the
 * process it was forked from, so measuring from a large parent (Python,
 * say) would only show the parent; this small one adds little.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

/* Writes n on a line of its own to path; 0 on failure, with errno set. */
static int write_line(const char *path, long n)
{
	FILE *out = fopen(path, "w");
	return out && fprintf(out, "%ld\n", n) > 0 && fclose(out) == 0;
}

/* The read calls of pid, exited and not yet reaped (syscr in /proc). */
static long read_calls(pid_t pid)
{
	char path[64], line[64];
	long n = -1;
	FILE *io;

	snprintf(path, sizeof path, "/proc/%ld/io", (long)pid);
	if (!(io = fopen(path, "r")))
		return -1;
	while (fgets(line, sizeof line, io))
		if (sscanf(line, "syscr: %ld", &n) == 1)
			break;
	fclose(io);
	return n;
}

int main(int argc, char **argv)
{
	const char *reads = NULL;
	struct rusage usage;
	siginfo_t info;
	long calls = -1;
	int status;

	if (argc > 2 && strcmp(argv[1], "-r") == 0) {
		reads = argv[2];
		argv += 2;
		argc -= 2;
	}
	if (argc < 3) {
		fputs("usage: peak_rss [-r READS] FILE COMMAND [ARG...]\n", stderr);
		return 2;
	}
	pid_t pid = fork();
	if (pid < 0) {
		perror("peak_rss: fork");
		return 2;
	}
	if (pid == 0) {
		execvp(argv[2], argv + 2);
		perror("peak_rss: exec");
		_exit(127);
	}
	/* Its counts are readable until it is reaped. */
	if (reads && waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT) == 0)
		calls = read_calls(pid);
	if (wait4(pid, &status, 0, &usage) < 0) {
		perror("peak_rss: wait4");
		return 2;
	}
	if (!write_line(argv[1], usage.ru_maxrss) ||
	    (reads && !write_line(reads, calls))) {
		perror("peak_rss: write");
		return 2;
	}
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
