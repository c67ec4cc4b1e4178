#include <cerrno>
#include <cstdio>
#include <cstring>

#include <qiro.h>

int main()
{
	int x = get_int("x: ");
	int y = get_int("y: ");
	float quotient = (float)x / (float)y;

	errno = 0;
	printf("%f\n", quotient);
	/* A result line that was not written must not look like success. */
	if (fflush(stdout) != 0 || ferror(stdout) || fclose(stdout) != 0) {
		fprintf(stderr, "1division: write error: %s\n",
			errno ? strerror(errno) : "unknown error");
		return 1;
	}
	return 0;
}
