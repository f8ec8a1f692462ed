// Where an image URL leads: refuses addresses that would make the
// downloader call the bridge itself, which serves one connection at a time
// and is busy waiting for that very download.
#pragma once

// True when `host` (the host part of a URL, without brackets) names this
// machine: "localhost" and any name under it (letter case ignored, one
// trailing dot allowed), an IPv4 address of 127.0.0.0/8 or 0.0.0.0 in any
// form the downloaders read (dotted with one to four decimal, octal or hex
// parts, e.g. "127.1", "0177.0.0.1", "2130706433", "0x7f000001"), or the
// IPv6 addresses ::1, :: and ::ffff: with an IPv4 address of 127.0.0.0/8 or
// 0.0.0.0 (a zone after '%' is ignored). Percent escapes are decoded first.
bool host_is_this_machine(const char* host, int length);

// Reads the `n` bytes at `s` as an IPv6 address (no brackets, no zone) into
// `bytes`: groups of 1-4 hex digits, at most one "::", optionally ending in
// a dotted IPv4 address of four decimal parts of 0-255 (leading zeros
// allowed, and read as decimal). False for anything else.
bool parse_ipv6(const char* s, int n, unsigned char bytes[16]);

// True when `url` leads to this machine on port `port`. The authority is
// read after "http://" or "https://" (scheme letter case ignored, any run
// of slashes and backslashes), or from the first byte for an address
// without a scheme (curl guesses http); the port is the explicit one, else
// 80 for http and 443 for https. Downloaders disagree on odd addresses, so
// every reading counts: the authority ends at '/', '?', '#' or, for .NET,
// '\\'; the user information ends at any '@' (curl takes the first, .NET
// the last).
bool url_reaches_port(const char* url, int port);
