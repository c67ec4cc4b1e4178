/*
 * A C program built against an installed libqiro: doubles a number. It
 * writes to stdout before asking, which get_int must flush first.
 */
#include <stdio.h>

#include <qiro.h>

int main(void)
{
	fputs("twice ", stdout);
	int n = get_int("n: ");
	printf("%lld\n", 2LL * n);
	return 0;
}
