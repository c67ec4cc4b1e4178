/* A libqiro.so.10 that reads nothing: every answer is 1. */
#include <qiro.h>

extern "C" __attribute__((visibility("default"))) int
get_int(const char *) noexcept
{
	return 1;
}
