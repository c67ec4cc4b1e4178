/*
 * The floor: a libqiro.so.10 whose get_int reads nothing and answers 1.
 * 1division run against it costs what any program of its design must.
 */
#include <qiro.h>

extern "C" __attribute__((visibility("default"))) int
get_int(const char *) noexcept
{
	return 1;
}
