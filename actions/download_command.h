// The command line that downloads an image URL into a file.
#pragma once
#include "tools/process_runner.h"

// True when `url` begins with the four bytes "http" and holds only
// printable ASCII (0x20 to 0x7E) without single or double quotes, so it can
// stand inside the quotes of a download command line.
bool is_safe_image_url(const char* url);

// Windows: a PowerShell one-liner (progress display off, TLS 1.2, stop at
// the first error, platform::powershell_download_limits); `file` is quoted so that PowerShell takes it literally
// (apostrophes doubled, wildcard characters such as brackets escaped).
// Returns false when the line does not fit in `size` bytes.
bool format_powershell_download(const char* url, const char* file, char* out, int size);

// Elsewhere: curl, http and https only, following redirects, failing on an
// HTTP error, with URL globbing off and platform::curl_download_limits; the
// URL is one argument of its own.
bool format_curl_download(const char* url, const char* file, char* out, int size);

// The downloader of this system.
bool format_download_command(const char* url, const char* file, char* out, int size);

// True when the downloader's output tells of an error: curl's "curl: (N)"
// line or a PowerShell error record. A cut-off transfer can leave a partial
// file behind, so the file's presence alone does not prove a download.
bool download_reported_error(const OutputWords& words);
// True when the downloader refused a file over the size limit.
bool download_too_big(const OutputWords& words);
// Watches for the words download_reported_error and download_too_big need.
void watch_download_words(OutputWords& words);
// The same over a text, every byte up to its NUL.
bool download_reported_error(const char* output);
