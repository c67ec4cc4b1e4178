/* The same job as most would first write it in C: scanf, no checks. */
#include <stdio.h>

int main(void)
{
	int x, y;

	fputs("x: ", stderr);
	if (scanf("%d", &x) != 1)
		return 1;
	fputs("y: ", stderr);
	if (scanf("%d", &y) != 1)
		return 1;
	printf("%f\n", (float)x / (float)y);
	return 0;
}
