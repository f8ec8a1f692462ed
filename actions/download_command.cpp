#include "actions/download_command.h"

#include <chrono>
#include <cstdio>
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

bool format_curl_download(const char* url, const char* file, char* out, int size) {
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
  int n = std::snprintf(out, static_cast<size_t>(size), "curl -f -g -s -S --proto =http,https %s %s -o %s -w %s %s",
                        platform::curl_download_limits, platform::curl_image_size_limit, quoted_file, quoted_format,
                        quoted_url);
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

bool format_download_command(const char* url, const char* file, char* out, int size) {
#ifdef _WIN32
  return format_powershell_download(url, file, out, size);
#else
  return format_curl_download(url, file, out, size);
#endif
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

DownloadWatch::DownloadWatch(const char* file, long long most) : file_(file), most_(most) {
  watch_download_words(*this);
}

bool DownloadWatch::should_end() {
  // The loop may ask every few milliseconds; the file is looked at only
  // every size_check_ms.
  const long long now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  if (now < next_check_ms_) return over_size_;
  next_check_ms_ = now + size_check_ms;
  std::error_code error;
  const auto size = std::filesystem::file_size(file_, error);
  if (!error && size > static_cast<std::uintmax_t>(most_)) over_size_ = true;
  return over_size_;
}
