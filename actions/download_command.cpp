#include "actions/download_command.h"

#include <cstdio>
#include <cstring>

namespace {

// Appends `text` at out[*n], doubling each `twice` byte; false when it
// does not fit.
bool append(char* out, int size, int* n, const char* text, char twice = '\0') {
  for (const char* p = text; *p != '\0'; ++p) {
    int need = (*p == twice && twice != '\0') ? 2 : 1;
    if (*n + need >= size) return false;
    out[(*n)++] = *p;
    if (need == 2) out[(*n)++] = *p;
  }
  out[*n] = '\0';
  return true;
}

}  // namespace

bool is_safe_image_url(const char* url) {
  if (std::strncmp(url, "http", 4) != 0) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(url); *p != 0; ++p) {
    if (*p < 0x20 || *p > 0x7E || *p == '\'' || *p == '"') return false;
  }
  return true;
}

bool format_powershell_download(const char* url, const char* file, char* out, int size) {
  int n = 0;
  out[0] = '\0';
  return append(out, size, &n,
                "powershell -NoProfile -ExecutionPolicy Bypass -Command \"$ProgressPreference='SilentlyContinue';"
                "$ErrorActionPreference='Stop';"
                "[Net.ServicePointManager]::SecurityProtocol=[Net.SecurityProtocolType]::Tls12;"
                "Invoke-WebRequest -UseBasicParsing -Uri '") &&
         append(out, size, &n, url) && append(out, size, &n, "' -OutFile '") && append(out, size, &n, file, '\'') &&
         append(out, size, &n, "'\"");
}

bool format_curl_download(const char* url, const char* file, char* out, int size) {
  // The line is split like a Windows command line: inside double quotes
  // only backslashes right before the closing quote need doubling. The
  // file path ends in ".tmp"; a double quote in it cannot be written.
  if (std::strchr(file, '"') != nullptr) return false;
  int n = 0;
  out[0] = '\0';
  if (!append(out, size, &n, "curl -f -L -s -S --proto =http,https -o \"") || !append(out, size, &n, file) ||
      !append(out, size, &n, "\" \"") || !append(out, size, &n, url)) {
    return false;
  }
  for (int i = static_cast<int>(std::strlen(url)) - 1; i >= 0 && url[i] == '\\'; --i) {
    if (!append(out, size, &n, "\\")) return false;
  }
  return append(out, size, &n, "\"");
}

bool format_download_command(const char* url, const char* file, char* out, int size) {
#ifdef _WIN32
  return format_powershell_download(url, file, out, size);
#else
  return format_curl_download(url, file, out, size);
#endif
}

bool download_reported_error(const char* output) {
  return std::strstr(output, "curl: (") != nullptr || std::strstr(output, "FullyQualifiedErrorId") != nullptr;
}
