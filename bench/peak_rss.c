/*
 * peak_rss FILE COMMAND [ARG...]: runs COMMAND and writes its peak resident
 * set size in KiB to FILE. A child's peak keeps that of the process it was
 * forked from, so measuring from a large parent (Python, say) would only
 * show the parent; this small one adds little.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	struct rusage usage;
	int status;
	FILE *out;

	if (argc < 3) {
		fputs("usage: peak_rss FILE COMMAND [ARG...]\n", stderr);
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
	if (wait4(pid, &status, 0, &usage) < 0) {
		perror("peak_rss: wait4");
		return 2;
	}
	out = fopen(argv[1], "w");
	if (!out || fprintf(out, "%ld\n", usage.ru_maxrss) < 0 || fclose(out)) {
		perror("peak_rss: write");
		return 2;
	}
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
