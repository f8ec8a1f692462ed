#include "actions/image_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "tools/scratch.h"

namespace {

// The file is read a chunk at a time, up to its first byte that is not white space.
struct ImageCheckBuffers {
  static constexpr char name[] = "image check";
  unsigned char chunk[image_chunk_size];
};
Scratch<ImageCheckBuffers> image_check_scratch;

// The partitions that hold a boot image (boot image header, or the ELF form
// some phones use), and those that hold a vendor_boot image.
constexpr const char* boot_image_partitions[] = {
    "boot", "boot_a", "boot_b", "init_boot", "init_boot_a", "init_boot_b", "recovery", "recovery_a", "recovery_b",
};
constexpr const char* vendor_boot_partitions[] = {
    "vendor_boot",
    "vendor_boot_a",
    "vendor_boot_b",
};

constexpr char boot_magic[] = "ANDROID!";
constexpr char vendor_boot_magic[] = "VNDRBOOT";
constexpr char elf_magic[] =
    "\x7f"
    "ELF";
constexpr char sparse_magic[] = "\x3a\xff\x26\xed";

// Android sparse format: a file header (magic u32, major u16, minor u16,
// file header size u16, chunk header size u16, block size u32, blocks u32,
// chunks u32, checksum u32), then chunks, each a chunk header (type u16,
// reserved u16, size in blocks u32, total size in bytes u32) and its data;
// all little-endian. The two header sizes are read from the file header.
constexpr int sparse_file_header_size = 28;
constexpr int sparse_chunk_header_size = 12;
constexpr unsigned sparse_major_version = 1;
constexpr unsigned raw_chunk = 0xCAC1;

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

unsigned read_u16(const unsigned char* p) { return static_cast<unsigned>(p[0] | p[1] << 8); }

std::uint32_t read_u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

ImageHeader header_of(const unsigned char* head, int count) {
  if (starts_with(head, count, boot_magic)) return ImageHeader::boot;
  if (starts_with(head, count, vendor_boot_magic)) return ImageHeader::vendor_boot;
  if (starts_with(head, count, elf_magic)) return ImageHeader::elf;
  return ImageHeader::none;
}

// The header of the data a sparse image's first chunk writes, which must be
// a well-formed raw chunk of at least one block.
ImageHeader first_chunk_header(const unsigned char* head, int count) {
  if (count < sparse_file_header_size) return ImageHeader::none;
  const int file_header = static_cast<int>(read_u16(head + 8));
  const int chunk_header = static_cast<int>(read_u16(head + 10));
  const std::uint32_t block_size = read_u32(head + 12);
  if (read_u16(head + 4) != sparse_major_version || file_header < sparse_file_header_size ||
      chunk_header < sparse_chunk_header_size || block_size == 0 || block_size % 4 != 0 || read_u32(head + 20) == 0) {
    return ImageHeader::none;
  }
  if (count - file_header < sparse_chunk_header_size) return ImageHeader::none;
  const unsigned char* chunk = head + file_header;
  const std::uint32_t blocks = read_u32(chunk + 4);
  const std::uint64_t total = read_u32(chunk + 8);
  if (read_u16(chunk) != raw_chunk || blocks == 0 ||
      total != static_cast<std::uint64_t>(chunk_header) + static_cast<std::uint64_t>(blocks) * block_size) {
    return ImageHeader::none;
  }
  const int data = file_header + chunk_header;
  return data < count ? header_of(head + data, count - data) : ImageHeader::none;
}

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

int byte_order_mark_length(const unsigned char* head, int count) {
  return starts_with(head, count, "\xEF\xBB\xBF") ? 3 : 0;
}

int skip_blanks(const unsigned char* bytes, int from, int count) {
  while (from < count && is_blank(bytes[from])) ++from;
  return from;
}

bool begins_page(unsigned char c) { return c == '<' || c == '{'; }

ImageVerdict verdict_of(bool no_image, ImageKind kind, ImageNeed need) {
  if (no_image) return ImageVerdict::no_image;
  return kind_fits(kind, need) ? ImageVerdict::fits : ImageVerdict::wrong_kind;
}

}  // namespace

ImageNeed image_need(const char* partition) {
  if (partition == nullptr) return ImageNeed::boot_run;
  for (const char* name : boot_image_partitions) {
    if (same_name(partition, name)) return ImageNeed::boot;
  }
  for (const char* name : vendor_boot_partitions) {
    if (same_name(partition, name)) return ImageNeed::vendor_boot;
  }
  return ImageNeed::any;
}

ImageKind image_kind(const unsigned char* head, int count) {
  ImageKind kind;
  kind.sparse = starts_with(head, count, sparse_magic);
  kind.header = kind.sparse ? first_chunk_header(head, count) : header_of(head, count);
  return kind;
}

bool kind_fits(ImageKind kind, ImageNeed need) {
  switch (need) {
    case ImageNeed::any:
      return true;
    case ImageNeed::boot:
      return kind.header == ImageHeader::boot || kind.header == ImageHeader::elf;
    case ImageNeed::vendor_boot:
      return kind.header == ImageHeader::vendor_boot;
    case ImageNeed::boot_run:
      return kind.header == ImageHeader::boot && !kind.sparse;
  }
  return false;
}

ImageVerdict judge_image(const unsigned char* bytes, int count, ImageNeed need, ImageKind* kind) {
  *kind = image_kind(bytes, count);
  const int i = skip_blanks(bytes, byte_order_mark_length(bytes, count), count);
  return verdict_of(i == count || begins_page(bytes[i]), *kind, need);
}

ImageVerdict judge_image_file(const char* path, ImageNeed need, ImageKind* kind) {
  *kind = ImageKind{};
  std::FILE* f = platform::open_file(path, "rb");
  if (f == nullptr) return ImageVerdict::no_image;
  ScratchHold<ImageCheckBuffers> scratch(image_check_scratch);
  auto& chunk = scratch->chunk;
  int n = static_cast<int>(std::fread(chunk, 1, sizeof chunk, f));
  *kind = image_kind(chunk, n);
  // fread fills the chunk unless the file ends (or cannot be read), so the
  // loop ends at the first byte that is not white space or at the file's end.
  int i = skip_blanks(chunk, byte_order_mark_length(chunk, n), n);
  while (i == n && n > 0) {
    n = static_cast<int>(std::fread(chunk, 1, sizeof chunk, f));
    i = skip_blanks(chunk, 0, n);
  }
  std::fclose(f);
  return verdict_of(n == 0 || begins_page(chunk[i]), *kind, need);
}
