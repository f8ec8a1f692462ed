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

namespace {

bool has_boot_magic(const unsigned char* head, int count) {
  return starts_with(head, count, "ANDROID!") || starts_with(head, count, "VNDRBOOT") ||
         starts_with(head, count,
                     "\x7f"
                     "ELF");
}

int byte_order_mark_length(const unsigned char* head, int count) {
  return starts_with(head, count, "\xEF\xBB\xBF") ? 3 : 0;
}

int skip_blanks(const unsigned char* bytes, int from, int count) {
  while (from < count && is_blank(bytes[from])) ++from;
  return from;
}

bool begins_page(unsigned char c) { return c == '<' || c == '{'; }

}  // namespace

bool looks_like_no_image(const unsigned char* bytes, int count, bool boot_header) {
  if (boot_header && !has_boot_magic(bytes, count)) return true;
  const int i = skip_blanks(bytes, byte_order_mark_length(bytes, count), count);
  return i == count || begins_page(bytes[i]);
}

bool file_looks_like_no_image(const char* path, bool boot_header) {
  std::FILE* f = platform::open_file(path, "rb");
  if (f == nullptr) return true;
  static unsigned char chunk[image_chunk_size];
  int n = static_cast<int>(std::fread(chunk, 1, sizeof chunk, f));
  if (boot_header && !has_boot_magic(chunk, n)) {
    std::fclose(f);
    return true;
  }
  // fread fills the chunk unless the file ends (or cannot be read), so the
  // loop ends at the first byte that is not white space or at the file's end.
  int i = skip_blanks(chunk, byte_order_mark_length(chunk, n), n);
  while (i == n && n > 0) {
    n = static_cast<int>(std::fread(chunk, 1, sizeof chunk, f));
    i = skip_blanks(chunk, 0, n);
  }
  std::fclose(f);
  return n == 0 || begins_page(chunk[i]);
}
