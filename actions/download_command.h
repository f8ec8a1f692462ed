// The command line that downloads an image URL into a file.
#pragma once
#include "http/progress_stream.h"
#include "tools/process_runner.h"

// True when `url` begins with the four bytes "http" and holds only
// printable ASCII (0x20 to 0x7E) without single or double quotes, so it can
// stand inside the quotes of a download command line.
bool is_safe_image_url(const char* url);

// Windows: a PowerShell one-liner (progress display off, TLS 1.2, stop at
// the first error, platform::powershell_download_limits); `file` is quoted
// so that PowerShell takes it literally (apostrophes doubled, wildcard
// characters such as brackets escaped). PowerShell follows no redirect
// itself (-MaximumRedirection 0): a redirect's absolute address is printed
// on the same line as curl's (take_redirect) for the bridge to check, or,
// where PowerShell counts the refused redirect as an error, the download
// fails. Returns false when the line does not fit in `size` bytes.
bool format_powershell_download(const char* url, const char* file, char* out, int size);

// Elsewhere: curl, http and https only, failing on an HTTP error, with URL
// globbing off and platform::curl_download_limits; the URL is one argument
// of its own. curl does not follow a redirect itself: it prints where the
// redirect leads on a line of its own (take_redirect), so that the bridge
// can check that address before it is fetched. With `with_head`, curl also
// prints the reply's head (-D -) for its Content-Length; strip_reply_heads
// takes it out of the log again.
bool format_curl_download(const char* url, const char* file, char* out, int size, bool with_head = false);

// Takes every reply head curl printed with -D - (from a line beginning
// "HTTP/" to its blank line) out of `output`, so that the log reads as one
// made without it.
void strip_reply_heads(char* output);

// Takes the downloader's redirect line out of `output` and copies the address it
// names into `next` (`size` bytes). True when the reply was a redirect; an
// address that does not fit in `next` is left empty (no URL check passes
// an empty text).
bool take_redirect(char* output, char* next, int size);

// The downloader of this system; `with_head` as for format_curl_download
// (PowerShell prints no head a caller could read).
bool format_download_command(const char* url, const char* file, char* out, int size, bool with_head = false);

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

// The downloader's words (watch_download_words) and the size of the file it
// writes: once the file holds more than `most` bytes the download is ended
// while it runs, so that a server announcing no size (or a downloader that
// has no size limit of its own, as PowerShell) cannot fill the disk. With
// a streamed reply it also sends a download line at most every
// progress_line_ms: the bytes so far (the file's size), the total (the
// Content-Length of a head curl printed, null when none), and the seconds
// the file has not grown.
class DownloadWatch : public OutputWords {
 public:
  DownloadWatch(const char* file, long long most, ProgressStream* stream = nullptr);
  void saw(const char* bytes, int n) override;
  bool should_end() override;
  int check_every_ms() const override { return size_check_ms; }
  // The file grew past `most` while the download ran.
  bool over_size() const { return over_size_; }
  // The Content-Length curl's head named; -1 when none.
  long long total() const { return total_; }

  static constexpr int size_check_ms = 250;
  static constexpr int progress_line_ms = 500;

 private:
  void read_head_line();

  const char* file_;
  long long most_;
  ProgressStream* stream_;
  long long next_check_ms_ = 0;
  long long next_line_ms_ = 0;
  long long last_size_ = -1;
  long long grew_at_ms_ = 0;
  bool over_size_ = false;
  // The head line being read: only the first head is read, up to its
  // blank line; longer lines are not a Content-Length.
  char line_[128] = {};
  int line_length_ = 0;
  bool in_head_ = true;
  bool line_too_long_ = false;
  long long total_ = -1;
};

// Formats the download line into `out` (progress_line_cap bytes).
void format_download_line(long long bytes, long long total, long long quiet_s, char* out, int size);
