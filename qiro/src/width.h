/* The columns a terminal gives a character, whatever the caller's locale. */
#ifndef QIRO_WIDTH_H
#define QIRO_WIDTH_H

#include <stdint.h>

/*
 * The columns a terminal draws code point c in: 2 for East Asian Wide and
 * Fullwidth (emoji shown as emoji among them); 0 for combining marks,
 * format characters but the soft hyphen, Hangul medial vowels and final
 * consonants, and the other default-ignorable code points; 1 for the rest,
 * East Asian Ambiguous too. Not meant for C0 and C1 controls, which the
 * caller handles itself: it calls them 1, as it does anything past
 * U+10FFFF. Unassigned code points: see tools/gen-width.
 */
int qiro_width(uint32_t c);

#endif
