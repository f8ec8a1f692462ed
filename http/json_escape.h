// Puts arbitrary text between the double quotes of a JSON string, and
// writes a verdict as JSON.
#pragma once

// The JSON word for `value`: verdicts are bool until a body is written.
inline const char* json_bool(bool value) { return value ? "true" : "false"; }

// Escapes `in` into `out` (limit + 1 bytes): tab, line feed, '"' and '\'
// become two-byte escapes, written only while they fit under `limit`; other
// bytes below 0x20 (CR included) are dropped; everything else, UTF-8
// included, is copied. Stops at the input's end or once `limit` bytes are
// written; `out` always ends with a NUL.
void json_escape(const char* in, char* out, int limit);

// A tool's text for a JSON string: json_escape, then keep_valid_utf8 on
// the result (a character cut at the limit is dropped whole).
void json_escape_tool_text(const char* in, char* out, int limit);

// json_escape_tool_text for a text whose end, from byte `tail_at` on, must
// be kept whole (the bridge's own lines about a run: the output was cut,
// the run was ended): when the whole does not fit under `limit`, the text
// before the tail gives way.
void json_escape_tool_text_keeping_tail(const char* in, int tail_at, char* out, int limit);

// Drops every byte of `text` that is not part of a valid UTF-8 sequence:
// a multi-byte character cut by a limit, or stray bytes a tool printed.
// Every text taken from a tool goes through it before it is sent as JSON.
void keep_valid_utf8(char* text);
