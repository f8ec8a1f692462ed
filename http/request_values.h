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
// Returns the number of bytes decoded, which is more than the text's length
// when an encoded NUL (%00) cut it short.
int url_decode(const char* in, char* out);

// Where the head of a received request lies. A line ends at LF (a CR
// before it belongs to the line end); the head ends at the first empty
// line, "\r\n" or "\n" alike. Header lookups look only between the request
// line and that blank line, so body bytes are never taken for headers.
struct HeadView {
  const char* text = "";
  int headers_begin = 0;  // first byte after the request line
  int headers_end = 0;    // first byte of the blank line, or the end of what came
  int body = -1;          // first byte after the blank line; -1: head incomplete
};

// Whether `text` (NUL-terminated) begins with `word`, letter case ignored.
bool starts_ignoring_case(const char* text, const char* word);

// Reads the first `received` bytes of `request` once into a view.
HeadView view_head(const char* request, int received);
// The same over a whole NUL-terminated text.
HeadView view_text(const char* request);

// Finds header `name` (letter case ignored) in the head. Copies its value
// (spaces after the colon skipped, up to CR or LF) into `value` (cap + 1
// bytes) and returns true; returns false and leaves `value` empty when it is
// absent. The first of several headers of that name wins.
bool header_value(const HeadView& head, const char* name, char* value, int cap);

// True when the head holds header `name` (letter case ignored).
bool has_header(const HeadView& head, const char* name);

// The Content-Length header read like C's _atoi64 (leading white space, an
// optional sign, digits; saturating); 0 when there is none.
long long announced_length(const HeadView& head);

// False when the body is framed in a way the bridge does not speak: any
// Transfer-Encoding header, or Content-Length headers that disagree.
bool body_framing_is_plain(const HeadView& head);

// True when the client waits for "100 Continue" before sending its body.
bool expects_continue(const HeadView& head);

// Offset of the first byte after the blank line that ends the head, or -1
// when the first `received` bytes hold no blank line.
int head_length(const char* request, int received);

// Reads a decimal number like _atoi64: leading white space, an optional
// sign, digits up to the first other byte; saturates at the 64-bit limits.
long long parse_int64(const char* text);
