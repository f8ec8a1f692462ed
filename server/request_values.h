// Values taken out of the received request text.
#pragma once

// Copies the value of query parameter `name` from the request line's query
// string into `value` (cap + 1 bytes). Only a whole parameter name counts
// (right after '?' or '&'); the first occurrence wins; the value ends at NUL,
// LF, CR, space or '&', or is cut at `cap` characters. Nothing is decoded. A
// missing parameter leaves `value` as the caller prepared it and gives
// false; a present one (an empty value included) gives true.
bool query_value(const char* request, const char* name, char* value, int cap);

constexpr int url_decoded_size = 2048;

// Decodes a URL-encoded text ('+' is a space, %XX a byte, a non-hex digit
// counting as 0) into `out` (url_decoded_size bytes), at most 2,047 bytes.
void url_decode(const char* in, char* out);

// Finds header `name` (letter case ignored) among the header lines, that is
// between the request line and the blank line. Copies its value (spaces
// after the colon skipped, up to CR or LF) into `value` (cap + 1 bytes) and
// returns true; returns false and leaves `value` empty when it is absent.
bool header_value(const char* request, const char* name, char* value, int cap);

// True when the request holds header `name` (letter case ignored).
bool has_header(const char* request, const char* name);

// Offset of the first byte after the blank line that ends the head, or -1
// when the first `received` bytes hold no blank line.
int head_length(const char* request, int received);

// The Content-Length header read like C's _atoi64 (leading white space, an
// optional sign, digits; saturating); 0 when there is none.
long long announced_length(const char* request);

// Reads a decimal number like _atoi64: leading white space, an optional
// sign, digits up to the first other byte; saturates at the 64-bit limits.
long long parse_int64(const char* text);
