#include "actions/download_command.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "http/request_values.h"
#include "platform/command_line.h"
#include "platform/download_limits.h"

namespace {

// Room for a URL or path with every byte escaped, its quotes and the NUL.
constexpr int quoted_size = 2 * url_decoded_size + 3;

bool formatted_whole(int n, int size) { return n > 0 && n < size; }

// curl's -w line: where a redirect leads (nothing after the colon when the
// reply was no redirect). curl itself turns the \n into line feeds.
constexpr char redirect_format[] = "\\ntalvik-redirect:%{redirect_url}\\n";
constexpr char redirect_marker[] = "\ntalvik-redirect:";

}  // namespace

bool is_safe_image_url(const char* url) {
  if (std::strncmp(url, "http", 4) != 0) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(url); *p != 0; ++p) {
    if (*p < 0x20 || *p > 0x7E || *p == '\'' || *p == '"') return false;
  }
  return true;
}

bool format_powershell_download(const char* url, const char* file, char* out, int size) {
  char quoted_file[quoted_size];
  if (!platform::powershell_literal_path(file, quoted_file, sizeof quoted_file)) return false;
  int n = std::snprintf(
      out, static_cast<size_t>(size),
      "powershell -NoProfile -ExecutionPolicy Bypass -Command \"$ProgressPreference='SilentlyContinue';"
      "$ErrorActionPreference='Stop';"
      "[Net.ServicePointManager]::SecurityProtocol=[Net.SecurityProtocolType]::Tls12;"
      "$u='%s';"
      "$r=Invoke-WebRequest -UseBasicParsing %s -MaximumRedirection 0 -Uri $u -OutFile '%s' -PassThru;"
      "if($r.StatusCode -ge 300 -and $r.StatusCode -lt 400){"
      "[Console]::Out.Write([char]10+'talvik-redirect:'+"
      "(New-Object Uri -ArgumentList ([Uri]$u),([string]$r.Headers['Location'])).AbsoluteUri+[char]10)}\"",
      url, platform::powershell_download_limits, quoted_file);
  return formatted_whole(n, size);
}

bool format_curl_download(const char* url, const char* file, char* out, int size, bool with_head) {
  // The file path ends in ".tmp"; a double quote in it is refused rather
  // than escaped. -g: brackets and braces in the URL are plain characters,
  // never a pattern of several downloads.
  if (std::strchr(file, '"') != nullptr) return false;
  char quoted_file[quoted_size];
  char quoted_url[quoted_size];
  if (!platform::quote_argument(file, quoted_file, sizeof quoted_file) ||
      !platform::quote_argument(url, quoted_url, sizeof quoted_url)) {
    return false;
  }
  char quoted_format[sizeof redirect_format + 8];
  if (!platform::quote_argument(redirect_format, quoted_format, sizeof quoted_format)) return false;
  int n = std::snprintf(out, static_cast<size_t>(size), "curl -f -g -s -S --proto =http,https %s %s%s -o %s -w %s %s",
                        platform::curl_download_limits, platform::curl_image_size_limit, with_head ? " -D -" : "",
                        quoted_file, quoted_format, quoted_url);
  return formatted_whole(n, size);
}

bool take_redirect(char* output, char* next, int size) {
  if (size > 0) next[0] = '\0';
  char* line = std::strstr(output, redirect_marker);
  if (line == nullptr) return false;
  const char* address = line + sizeof redirect_marker - 1;
  const char* end = std::strchr(address, '\n');
  const size_t length = end != nullptr ? static_cast<size_t>(end - address) : std::strlen(address);
  const bool redirected = length > 0;
  if (redirected && size > 0 && length < static_cast<size_t>(size)) {
    std::memcpy(next, address, length);
    next[length] = '\0';
  }
  // The line leaves the log; what curl printed after it stays.
  const char* rest = end != nullptr ? end + 1 : address + length;
  std::memmove(line, rest, std::strlen(rest) + 1);
  return redirected;
}

bool format_download_command(const char* url, const char* file, char* out, int size, bool with_head) {
#ifdef _WIN32
  (void)with_head;
  return format_powershell_download(url, file, out, size);
#else
  return format_curl_download(url, file, out, size, with_head);
#endif
}

void strip_reply_heads(char* output) {
  for (char* line = output; *line != '\0';) {
    if (std::strncmp(line, "HTTP/", 5) != 0) {
      char* next = std::strchr(line, '\n');
      if (next == nullptr) return;
      line = next + 1;
      continue;
    }
    // The head ends after its blank line (CR LF or LF), or with the text.
    char* end = line;
    for (;;) {
      char* lf = std::strchr(end, '\n');
      if (lf == nullptr) {
        end += std::strlen(end);
        break;
      }
      const bool blank = lf == end || (lf == end + 1 && *end == '\r');
      end = lf + 1;
      if (blank) break;
    }
    std::memmove(line, end, std::strlen(end) + 1);
  }
}

// curl's error line and PowerShell's error record.
constexpr const char* download_error_words[] = {"curl: (", "FullyQualifiedErrorId"};

void watch_download_words(OutputWords& words) {
  words.watch(download_error_words);
  words.watch(platform::curl_too_big_words);
}

bool download_too_big(const OutputWords& words) { return words.seen(platform::curl_too_big_words); }

bool download_reported_error(const OutputWords& words) { return words.seen_any(download_error_words); }

bool download_reported_error(const char* output) {
  OutputWords words;
  watch_download_words(words);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return download_reported_error(words);
}

DownloadWatch::DownloadWatch(const char* file, long long most, ProgressStream* stream)
    : file_(file), most_(most), stream_(stream != nullptr && stream->streamed() ? stream : nullptr) {
  watch_download_words(*this);
}

namespace {

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void DownloadWatch::read_head_line() {
  line_[line_length_] = '\0';
  if (line_length_ > 0 && line_[line_length_ - 1] == '\r') line_[--line_length_] = '\0';
  if (line_too_long_) return;
  if (line_length_ == 0) {
    // The head's blank line: what follows is no head of the reply.
    in_head_ = false;
    return;
  }
  constexpr char name[] = "content-length:";
  if (!starts_ignoring_case(line_, name)) return;
  char* end = nullptr;
  const long long value = std::strtoll(line_ + sizeof name - 1, &end, 10);
  if (end != line_ + sizeof name - 1 && value >= 0) total_ = value;
}

void DownloadWatch::saw(const char* bytes, int n) {
  OutputWords::saw(bytes, n);
  if (stream_ == nullptr || !in_head_) return;
  for (int i = 0; i < n && in_head_; ++i) {
    if (bytes[i] == '\n') {
      read_head_line();
      line_length_ = 0;
      line_too_long_ = false;
    } else if (line_length_ < static_cast<int>(sizeof line_) - 1) {
      line_[line_length_++] = bytes[i];
    } else {
      line_too_long_ = true;
    }
  }
}

bool DownloadWatch::should_end() {
  // The loop may ask every few milliseconds; the file is looked at only
  // every size_check_ms.
  const long long now = now_ms();
  if (now < next_check_ms_) return over_size_;
  next_check_ms_ = now + size_check_ms;
  std::error_code error;
  const auto size = std::filesystem::file_size(file_, error);
  if (!error && size > static_cast<std::uintmax_t>(most_)) over_size_ = true;
  if (stream_ != nullptr) {
    const long long bytes = error ? 0 : static_cast<long long>(size);
    if (bytes != last_size_ || grew_at_ms_ == 0) grew_at_ms_ = now;
    last_size_ = bytes;
    if (now >= next_line_ms_) {
      next_line_ms_ = now + progress_line_ms;
      char line[progress_line_cap];
      format_download_line(bytes, total_, (now - grew_at_ms_) / 1000, line, sizeof line);
      stream_->line(line);
    }
  }
  return over_size_;
}

void format_download_line(long long bytes, long long total, long long quiet_s, char* out, int size) {
  if (total >= 0) {
    std::snprintf(out, size, "{\"stage\":\"download\",\"bytes\":%lld,\"total\":%lld,\"quiet_s\":%lld}", bytes, total,
                  quiet_s);
  } else {
    std::snprintf(out, size, "{\"stage\":\"download\",\"bytes\":%lld,\"total\":null,\"quiet_s\":%lld}", bytes, quiet_s);
  }
}
