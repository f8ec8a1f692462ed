#include "tools/tool_locator.h"

#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/tools_archive.h"

void exe_dir(char* out) {
  char module[platform::max_path];
  platform::module_path(module);
  char* last = std::strrchr(module, platform::path_separator);
  if (last != nullptr) *last = '\0';
  std::snprintf(out, tool_path_size, "%s", module);
}

bool is_present_file(const char* path) { return platform::is_present_file(path); }

void find_tool(const char* name, char* out) {
  char dir[tool_path_size];
  exe_dir(dir);
  const char sep = platform::path_separator;
  const char* ext = platform::exe_suffix;
  char candidate[tool_path_size];

  std::snprintf(candidate, sizeof candidate, "%s%c%s%s", dir, sep, name, ext);
  if (is_present_file(candidate)) {
    std::snprintf(out, tool_path_size, "%s", candidate);
    return;
  }
  std::snprintf(candidate, sizeof candidate, "%s%cplatform-tools%c%s%s", dir, sep, sep, name, ext);
  if (is_present_file(candidate)) {
    std::snprintf(out, tool_path_size, "%s", candidate);
    return;
  }
  std::snprintf(out, tool_path_size, "%s%s", name, ext);
}

void resolve_bare_tool(char* path) {
  if (std::strchr(path, platform::path_separator) != nullptr) return;
  char found[platform::max_path];
  if (platform::find_on_search_path(path, found)) std::snprintf(path, tool_path_size, "%s", found);
}

bool exe_dir_fits_command_lines() {
  char dir[tool_path_size];
  exe_dir(dir);
  return std::strchr(dir, '"') == nullptr;
}

bool tool_is_there(const char* name) {
  char path[tool_path_size];
  find_tool(name, path);
  return is_present_file(path) || platform::system_tool_present(name);
}
