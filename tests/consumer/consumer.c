/* A C program built against an installed libqiro: doubles a number. */
#include <stdio.h>

#include <qiro.h>

int main(void)
{
	int n = get_int("n: ");
	printf("%lld\n", 2LL * n);
	return 0;
}
