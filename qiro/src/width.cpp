#include "width.h"

#include <stddef.h>

#include "width_table.inc"

/*
 * Whether c lies in one of the n ranges of t, sorted and each packed as
 * its first code point << shift | (its length - 1).
 */
static bool in(const uint32_t *t, size_t n, unsigned shift, uint32_t c)
{
	size_t lo = 0, hi = n;

	/* The ranges before lo start at or before c, those from hi after it. */
	while (lo < hi) {
		size_t mid = lo + (hi - lo) / 2;
		if (t[mid] >> shift <= c)
			lo = mid + 1;
		else
			hi = mid;
	}
	return lo > 0 && c - (t[lo - 1] >> shift) <=
				 (t[lo - 1] & ((1u << shift) - 1));
}

int qiro_width(uint32_t c)
{
	if (in(zero, sizeof zero / sizeof *zero, zero_shift, c))
		return 0;
	if (in(wide, sizeof wide / sizeof *wide, wide_shift, c))
		return 2;
	return 1;
}
