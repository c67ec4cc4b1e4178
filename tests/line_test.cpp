#include <gtest/gtest.h>

#include <stdint.h>

#include "width.h"

namespace {

struct Width {
	uint32_t c;
	int columns;
};

/* The edges of ranges of each kind, and what a line most often holds. */
const Width widths[] = {
	{' ', 1}, {'7', 1}, {'~', 1}, {0xA0, 1}, {0xE9, 1}, /* é */
	{0xAD, 1}, /* SOFT HYPHEN: a format character that terminals draw */
	{'e', 1}, {0x2FF, 1}, {0x300, 0}, {0x301, 0}, {0x36F, 0}, {0x370, 1},
	{0x20DD, 0}, /* an enclosing mark */
	{0x61C, 0}, {0x2060, 0}, {0x2065, 0}, /* format, unassigned ignorable */
	{0x200A, 1}, {0x200B, 0}, {0x200F, 0}, {0x2010, 1},
	{0x10FF, 1}, {0x1100, 2}, {0x115F, 2}, /* leading consonants */
	{0x1160, 0}, {0x11A8, 0}, {0x11FF, 0}, {0x1200, 1}, /* joining jamo */
	{0x3131, 2}, {0x3164, 0}, {0xFFA0, 0}, /* jamo on their own, fillers */
	{0xA960, 2}, {0xAC00, 2}, {0xD7A3, 2}, {0xD7A4, 1},
	{0xD7AF, 1}, {0xD7B0, 0}, {0xD7FF, 0},
	{0x2FFF, 1}, {0x3000, 2}, {0x3029, 2}, {0x302A, 0}, {0x302D, 0},
	{0x302E, 2}, {0x3099, 0}, /* marks among wide characters */
	{0x4E2D, 2}, {0x8DFF, 2}, {0x8E00, 2}, {0x9FFF, 2}, {0xA4C6, 2},
	{0xFE0E, 0}, {0xFE0F, 0}, {0xFE10, 2}, {0xFEFF, 0},
	{0xFF01, 2}, {0xFF11, 2}, {0xFF60, 2}, {0xFF61, 1}, {0xFFFD, 1},
	{0x231A, 2}, {0x1F1E6, 1}, {0x1F3FB, 2}, /* emoji presentation or not */
	{0x1F600, 2}, {0x1F64F, 2}, {0x1F650, 1},
	{0x20000, 2}, {0x2A6E0, 2}, {0x2FFFD, 2}, {0x2FFFE, 1}, /* planes 2, 3 */
	{0x30000, 2}, {0x3FFFD, 2}, {0x3FFFE, 1}, {0x40000, 1},
	{0xDFFFF, 1}, {0xE0001, 0}, {0xE0100, 0}, {0xE0FFF, 0}, {0xE1000, 1},
	{0xF0000, 1}, {0x10FFFF, 1}, {0x110000, 1}, {0xFFFFFFFF, 1},
};

TEST(Width, Columns)
{
	for (const Width &w : widths)
		EXPECT_EQ(qiro_width(w.c), w.columns) << std::hex << "U+" << w.c;
}

} // namespace
