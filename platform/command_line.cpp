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

}  // namespace platform
