/* qiro.h on its own, twice, as a caller in C or C++ includes it. */
#include <qiro.h>
#include <qiro.h>

int main(void)
{
	return get_int("n: ") == 0;
}
