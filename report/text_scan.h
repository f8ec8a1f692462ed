// Small scanning helpers shared by the report parsers.
#pragma once

// Skips leading white space, reads an optional sign and the digits after
// it; 0 when there are none. Values past the int range stop at its ends.
int leading_int(const char* text);

// Number of non-overlapping occurrences of `key` in `text`.
int count_occurrences(const char* text, const char* key);

// Copies `from` up to the first CR, LF or NUL, at most `cap` characters.
void copy_line(const char* from, char* out, int cap);

// Copies the decimal digits at the start of `from`, at most `cap`.
void copy_digits(const char* from, char* out, int cap);

// The first byte of `text` that is not a space (0x20).
const char* skip_spaces(const char* text);

// Makes every lower-case ASCII letter upper case.
void to_upper_ascii(char* text);
