// The bounds on what a request may send and how long the bridge waits for
// it: the head, an upload's body, and what is read and dropped after the
// reply.
#pragma once

// A request head: at most 4,095 bytes and a NUL, sent within head_wait_ms.
constexpr int request_buffer_size = 4096;
constexpr int head_wait_ms = 10000;
// An upload: 1 byte to 2 GiB, received in chunks of receive_chunk bytes. A
// body counts as cut off when it stops arriving for body_silence_ms, when
// fewer than body_window_bytes (or all that is still to come) arrive in a
// body_silence_ms window, or when it is not whole within body_total_ms (a
// local browser sends 2 GiB in well under a minute).
constexpr long long largest_upload = 2147483648LL;
constexpr int receive_chunk = 1 << 20;
constexpr int body_silence_ms = 30000;
constexpr long long body_window_bytes = 65536;
constexpr int body_total_ms = 15 * 60 * 1000;
// After the reply, what the client still sends is read and dropped, so
// that it sees the reply rather than a reset; then the connection is
// closed whatever is still coming.
//
// A body of known length (plain Content-Length framing) is drained up to
// its announced length, at most 2 GiB, while it keeps arriving: at least
// drain_window_bytes in every drain_window_ms, and for drain_body_total_ms
// in all. A browser that had its large upload refused sends the rest at
// full speed and then reads the reply.
constexpr long long drain_body_cap = 2147483648LL;
constexpr int drain_body_total_ms = 120000;
constexpr int drain_window_ms = 5000;
constexpr long long drain_window_bytes = 65536;
// When the length is unknown (the head did not fit in the buffer, a body
// framing the bridge does not speak): at most this long and this many bytes.
constexpr int drain_total_ms = 10000;
constexpr long long drain_byte_cap = 64LL * 1024 * 1024;
