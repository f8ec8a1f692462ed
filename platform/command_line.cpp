#include "platform/command_line.h"

namespace platform {

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> split_command_line(const char* line) {
  std::vector<std::string> args;
  const char* p = line;
  while (is_blank(*p)) ++p;
  if (*p == '\0') return args;

  std::string program;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') program += *p++;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !is_blank(*p)) program += *p++;
  }
  args.push_back(program);

  for (;;) {
    while (is_blank(*p)) ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || !is_blank(*p))) {
      if (*p == '\\') {
        size_t slashes = 0;
        while (*p == '\\') {
          ++slashes;
          ++p;
        }
        if (*p == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++p;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (*p == '"') {
        if (quoted && p[1] == '"') {
          arg += '"';
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
      } else {
        arg += *p++;
      }
    }
    args.push_back(arg);
  }
  return args;
}

namespace {

// Appends `count` copies of `c` at out[*used]; false when they do not fit
// with the NUL.
bool put(char* out, int size, int* used, char c, int count = 1) {
  for (int i = 0; i < count; ++i) {
    if (*used >= size - 1) return false;
    out[(*used)++] = c;
  }
  return true;
}

}  // namespace

bool quote_argument(const char* text, char* out, int size) {
  int used = 0;
  bool fits = put(out, size, &used, '"');
  int backslashes = 0;
  for (const char* c = text; *c != '\0' && fits; ++c) {
    if (*c == '\\') {
      ++backslashes;
      continue;
    }
    fits = put(out, size, &used, '\\', *c == '"' ? 2 * backslashes + 1 : backslashes) && put(out, size, &used, *c);
    backslashes = 0;
  }
  fits = fits && put(out, size, &used, '\\', 2 * backslashes) && put(out, size, &used, '"');
  out[used] = '\0';
  return fits;
}

bool double_apostrophes(const char* text, char* out, int size) {
  int used = 0;
  bool fits = true;
  for (const char* c = text; *c != '\0' && fits; ++c) {
    fits = put(out, size, &used, *c, *c == '\'' ? 2 : 1);
  }
  out[used] = '\0';
  return fits;
}

bool powershell_literal_path(const char* text, char* out, int size) {
  int used = 0;
  bool fits = true;
  for (const char* c = text; *c != '\0' && fits; ++c) {
    const bool wildcard = *c == '[' || *c == ']' || *c == '*' || *c == '?' || *c == '`';
    if (wildcard) fits = put(out, size, &used, '`');
    fits = fits && put(out, size, &used, *c, *c == '\'' ? 2 : 1);
  }
  out[used] = '\0';
  return fits;
}

}  // namespace platform
