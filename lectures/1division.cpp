#include <errno.h>
#include <float.h>
#include <stdio.h>
#include <string.h>

#include <qiro.h>

/*
 * Where float arithmetic is carried out in wider registers (x87), only a
 * store rounds a value to binary32: both operands and the quotient go
 * through memory there. Elsewhere this is plain float and costs nothing.
 */
#if FLT_EVAL_METHOD == 0
typedef float binary32;
#else
typedef volatile float binary32;
#endif

int main()
{
	int x = get_int("x: ");
	int y = get_int("y: ");
	binary32 fx = (float)x, fy = (float)y;
	binary32 quotient = fx / fy;

	errno = 0;
	printf("%f\n", (double)quotient);
	/* A result line that was not written must not look like success. */
	if (fflush(stdout) != 0 || ferror(stdout) || fclose(stdout) != 0) {
		fprintf(stderr, "1division: write error: %s\n",
			errno ? strerror(errno) : "unknown error");
		return 1;
	}
	return 0;
}
