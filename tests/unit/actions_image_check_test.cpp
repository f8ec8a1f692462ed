// What is refused before fastboot runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "actions/image_check.h"

namespace {

ImageVerdict judged(const std::string& head, ImageNeed need, ImageKind* kind = nullptr) {
  ImageKind found;
  ImageVerdict v = judge_image(reinterpret_cast<const unsigned char*>(head.data()), static_cast<int>(head.size()), need,
                               kind != nullptr ? kind : &found);
  return v;
}

bool refused(const std::string& head, ImageNeed need) { return judged(head, need) != ImageVerdict::fits; }

ImageKind kind_of(const std::string& head) {
  return image_kind(reinterpret_cast<const unsigned char*>(head.data()), static_cast<int>(head.size()));
}

std::string le16(unsigned v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8 & 0xff)}; }
std::string le32(std::uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }

// One chunk of a made-up Android sparse image; `data` empty means a chunk
// without data (don't care), and the total size is computed unless given.
struct Chunk {
  unsigned type;
  std::uint32_t blocks;
  std::string data;
  long long total = -1;
};
constexpr unsigned raw = 0xCAC1, fill = 0xCAC2, dont_care = 0xCAC3, crc = 0xCAC4;

struct Sparse {
  std::uint32_t block_size = 4096;
  unsigned file_header = 28;
  unsigned chunk_header = 12;
  unsigned major = 1;
};

std::string sparse_image(const std::vector<Chunk>& chunks, Sparse form = {}) {
  std::uint32_t blocks = 0;
  for (const Chunk& c : chunks) blocks += c.blocks;
  std::string out = std::string("\x3a\xff\x26\xed", 4) + le16(form.major) + le16(0) + le16(form.file_header) +
                    le16(form.chunk_header) + le32(form.block_size) + le32(blocks) +
                    le32(static_cast<std::uint32_t>(chunks.size())) + le32(0);
  out.resize(form.file_header, '\0');
  for (const Chunk& c : chunks) {
    std::string head = le16(c.type) + le16(0) + le32(c.blocks) +
                       le32(static_cast<std::uint32_t>(c.total >= 0 ? c.total : form.chunk_header + c.data.size()));
    head.resize(form.chunk_header, '\0');
    out += head + c.data;
  }
  return out;
}

// A raw chunk of `blocks` blocks whose data starts with `magic`.
Chunk raw_chunk(const std::string& magic, std::uint32_t blocks = 2, std::uint32_t block_size = 4096) {
  std::string data(static_cast<size_t>(blocks) * block_size, 'k');
  data.replace(0, magic.size(), magic);
  return {raw, blocks, data};
}

const std::string elf =
    "\x7f"
    "ELF\x02";

// `bytes` written to a file of its own, removed at the end of the test.
struct ImageFile {
  std::filesystem::path path;
  explicit ImageFile(const std::string& bytes) {
    std::random_device seed;
    path = std::filesystem::temp_directory_path() / ("talvik-image-" + std::to_string(seed()) + ".img");
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~ImageFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  ImageVerdict judged(ImageNeed need = ImageNeed::any, ImageKind* kind = nullptr) const {
    ImageKind found;
    return judge_image_file(path.string().c_str(), need, kind != nullptr ? kind : &found);
  }
  bool refused(ImageNeed need = ImageNeed::any) const { return judged(need) != ImageVerdict::fits; }
};

}  // namespace

TEST(ImageCheck, WebPagesAndJsonErrorsAreNoImage) {
  EXPECT_EQ(judged("<!DOCTYPE html><html>", ImageNeed::any), ImageVerdict::no_image);
  EXPECT_EQ(judged("\xEF\xBB\xBF \r\n\t<html>", ImageNeed::any), ImageVerdict::no_image);  // byte order mark first
  EXPECT_EQ(judged("{\"error\":\"not found\"}", ImageNeed::any), ImageVerdict::no_image);
  EXPECT_FALSE(refused(std::string("\x3a\xff\x26\xed\0\0", 6), ImageNeed::any));  // a (cut) sparse image
  EXPECT_EQ(judged(" \r\n ", ImageNeed::any), ImageVerdict::no_image);            // only white space
  EXPECT_EQ(judged("", ImageNeed::any), ImageVerdict::no_image);
  EXPECT_FALSE(refused("x<html>", ImageNeed::any));
  // A web page stays a web page for a boot partition too.
  EXPECT_EQ(judged("<html>", ImageNeed::boot), ImageVerdict::no_image);
  EXPECT_EQ(judged("", ImageNeed::vendor_boot), ImageVerdict::no_image);
}

TEST(ImageCheck, EachBootPartitionHasItsKind) {
  for (const char* name : {"boot", "BOOT_a", "boot_b", "init_boot_b", "Init_Boot", "recovery", "recovery_a"}) {
    EXPECT_EQ(image_need(name), ImageNeed::boot) << name;
  }
  for (const char* name : {"vendor_boot", "Vendor_Boot_a", "vendor_boot_b"}) {
    EXPECT_EQ(image_need(name), ImageNeed::vendor_boot) << name;
  }
  for (const char* name : {"boot_c", "dtbo", "bootloader", "vbmeta", "system_a", "vendor_boot_c", "xboot", "boot_"}) {
    EXPECT_EQ(image_need(name), ImageNeed::any) << name;
  }
  EXPECT_EQ(image_need(nullptr), ImageNeed::boot_run);  // POST /boot
}

TEST(ImageCheck, ABootImageGoesToBootAndAVendorBootImageToVendorBoot) {
  struct Case {
    std::string head;
    ImageVerdict boot, vendor_boot, boot_run, any;
  };
  const auto fits = ImageVerdict::fits, wrong = ImageVerdict::wrong_kind;
  const Case cases[] = {
      {"ANDROID!\x01\x02", fits, wrong, fits, fits},
      {"VNDRBOOT\x04", wrong, fits, wrong, fits},
      {elf, fits, wrong, wrong, fits},         // fastboot would boot an ELF file as a kernel
      {"ANDROID", wrong, wrong, wrong, fits},  // cut short
      {" ANDROID!", wrong, wrong, wrong, fits},
      {"kernel", wrong, wrong, wrong, fits},
      {std::string(4096, '\0'), wrong, wrong, wrong, fits},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(judged(c.head, ImageNeed::boot), c.boot) << c.head;
    EXPECT_EQ(judged(c.head, ImageNeed::vendor_boot), c.vendor_boot) << c.head;
    EXPECT_EQ(judged(c.head, ImageNeed::boot_run), c.boot_run) << c.head;
    EXPECT_EQ(judged(c.head, ImageNeed::any), c.any) << c.head;
  }
  ImageKind kind;
  judged("VNDRBOOT", ImageNeed::boot, &kind);
  EXPECT_EQ(kind.header, ImageHeader::vendor_boot);
  EXPECT_FALSE(kind.sparse);
}

TEST(ImageCheck, ASparseImageIsJudgedByTheRawDataItWritesFirst) {
  // A sparse boot image as img2simg writes it: one raw chunk, then more.
  const std::string boot = sparse_image({raw_chunk("ANDROID!"), {dont_care, 6, ""}, raw_chunk("tail")});
  ImageKind kind = kind_of(boot);
  EXPECT_EQ(kind.header, ImageHeader::boot);
  EXPECT_TRUE(kind.sparse);
  EXPECT_EQ(judged(boot, ImageNeed::boot), ImageVerdict::fits);
  EXPECT_EQ(judged(boot, ImageNeed::vendor_boot), ImageVerdict::wrong_kind);
  EXPECT_EQ(judged(boot, ImageNeed::boot_run), ImageVerdict::wrong_kind);  // fastboot boot does not unsparse
  const std::string vendor = sparse_image({raw_chunk("VNDRBOOT")});
  EXPECT_EQ(judged(vendor, ImageNeed::vendor_boot), ImageVerdict::fits);
  EXPECT_EQ(judged(vendor, ImageNeed::boot), ImageVerdict::wrong_kind);
  EXPECT_EQ(kind_of(sparse_image({raw_chunk(elf)})).header, ImageHeader::elf);
  // Header sizes are taken from the file header, and blocks of any size.
  Sparse wide;
  wide.file_header = 32;
  wide.chunk_header = 16;
  wide.block_size = 512;
  EXPECT_EQ(kind_of(sparse_image({raw_chunk("ANDROID!", 1, 512)}, wide)).header, ImageHeader::boot);
}

TEST(ImageCheck, ASparseImageWhoseStartIsNotRawDataHasNoBootHeader) {
  const Chunk boot_data = raw_chunk("ANDROID!");
  struct Case {
    const char* what;
    std::string image;
  };
  Sparse version2;
  version2.major = 2;
  Sparse odd_block;
  odd_block.block_size = 4094;
  Chunk wrong_total = boot_data;
  wrong_total.total = 12 + 4096;               // says one block, holds two
  Chunk empty_raw = {raw, 0, "ANDROID!", 12};  // no blocks, though a header follows
  const std::string whole = sparse_image({boot_data});
  const Case cases[] = {
      {"fill chunk first", sparse_image({{fill, 1, "ANDR"}, boot_data})},
      {"don't-care chunk first", sparse_image({{dont_care, 1, ""}, boot_data})},
      {"CRC chunk first", sparse_image({{crc, 0, "\x01\x02\x03\x04"}, boot_data})},
      {"raw chunk of no blocks", sparse_image({empty_raw})},
      {"total size that disagrees", sparse_image({wrong_total})},
      {"unknown major version", sparse_image({boot_data}, version2)},
      {"block size not a multiple of 4", sparse_image({raw_chunk("ANDROID!", 1, 4094)}, odd_block)},
      {"file header cut short", whole.substr(0, 20)},
      {"chunk header cut short", whole.substr(0, 28 + 8)},
      {"data cut before the magic", whole.substr(0, 28 + 12 + 4)},
  };
  for (const Case& c : cases) {
    ImageKind kind = kind_of(c.image);
    EXPECT_EQ(kind.header, ImageHeader::none) << c.what;
    EXPECT_TRUE(kind.sparse) << c.what;
    EXPECT_EQ(judged(c.image, ImageNeed::boot), ImageVerdict::wrong_kind) << c.what;
    // Other partitions take a sparse image as it is.
    EXPECT_EQ(judged(c.image, ImageNeed::any), ImageVerdict::fits) << c.what;
  }
}

TEST(ImageCheck, FilesAreReadPastAnyAmountOfLeadingWhiteSpace) {
  const std::string page = "<!DOCTYPE html><html></html>";
  std::string crlf;
  for (int i = 0; i < 300; ++i) crlf += "\r\n";
  EXPECT_TRUE(ImageFile(crlf + page).refused());
  // White space across several read chunks, after a byte order mark.
  const std::string blanks(3 * image_chunk_size + 17, ' ');
  EXPECT_EQ(ImageFile("\xEF\xBB\xBF" + blanks + "{\"error\":1}").judged(), ImageVerdict::no_image);
  EXPECT_EQ(ImageFile(blanks + "\n\t").judged(ImageNeed::boot), ImageVerdict::no_image);  // nothing but white space
  EXPECT_TRUE(ImageFile("").refused());
  EXPECT_FALSE(ImageFile(blanks + std::string("\x3a\xff\x26\xed", 4) + "<html>").refused());
  EXPECT_FALSE(ImageFile(std::string(image_chunk_size, 'x') + page).refused());
  // The boot header stays at the file's very start.
  EXPECT_FALSE(ImageFile("ANDROID!" + blanks).refused(ImageNeed::boot));
  EXPECT_EQ(ImageFile(crlf + "ANDROID!").judged(ImageNeed::boot), ImageVerdict::wrong_kind);
  ImageKind kind;
  EXPECT_EQ(judge_image_file("/no/such/folder/x.img", ImageNeed::any, &kind), ImageVerdict::no_image);
}

TEST(ImageCheck, FilesOfTheWrongKindNameWhatTheyHold) {
  ImageKind kind;
  EXPECT_EQ(ImageFile("VNDRBOOT" + std::string(100000, 'v')).judged(ImageNeed::boot, &kind), ImageVerdict::wrong_kind);
  EXPECT_EQ(kind.header, ImageHeader::vendor_boot);
  const std::string sparse_boot = sparse_image({raw_chunk("ANDROID!", 20), {dont_care, 100, ""}});
  EXPECT_EQ(ImageFile(sparse_boot).judged(ImageNeed::boot, &kind), ImageVerdict::fits);
  EXPECT_TRUE(kind.sparse);
  EXPECT_EQ(ImageFile(sparse_boot).judged(ImageNeed::vendor_boot, &kind), ImageVerdict::wrong_kind);
  EXPECT_EQ(kind.header, ImageHeader::boot);
}
