#include "actions/image_check.h"

#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace {

bool same_name(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char c = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    if (c != *b) return false;
  }
  return *a == *b;
}

bool starts_with(const unsigned char* head, int count, const char* magic) {
  const int n = static_cast<int>(std::strlen(magic));
  return count >= n && std::memcmp(head, magic, static_cast<size_t>(n)) == 0;
}

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

bool needs_boot_header(const char* partition) {
  if (partition == nullptr) return true;
  static const char* const boot_partitions[] = {"boot",        "boot_a",      "boot_b",        "init_boot",
                                                "init_boot_a", "init_boot_b", "recovery",      "recovery_a",
                                                "recovery_b",  "vendor_boot", "vendor_boot_a", "vendor_boot_b"};
  for (const char* name : boot_partitions) {
    if (same_name(partition, name)) return true;
  }
  return false;
}

bool looks_like_no_image(const unsigned char* head, int count, bool boot_header) {
  if (boot_header && !starts_with(head, count, "ANDROID!") && !starts_with(head, count, "VNDRBOOT") &&
      !starts_with(head, count,
                   "\x7f"
                   "ELF")) {
    return true;
  }
  int i = starts_with(head, count, "\xEF\xBB\xBF") ? 3 : 0;
  while (i < count && is_blank(head[i])) ++i;
  return i < count && (head[i] == '<' || head[i] == '{');
}

bool file_looks_like_no_image(const char* path, bool boot_header) {
  std::FILE* f = platform::open_file(path, "rb");
  if (f == nullptr) return true;
  unsigned char head[image_head_size];
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return n == 0 || looks_like_no_image(head, static_cast<int>(n), boot_header);
}
