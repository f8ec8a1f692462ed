// Refuses files that are plainly not the image a partition takes before
// fastboot sees them: a web page or a JSON error saved in place of the file
// (what a share link often gives), or, for a partition that holds a boot
// image, a file of another kind (a vendor_boot image given for boot, a boot
// image for vendor_boot, a file without any boot header).
#pragma once

// The file is read in chunks of this size, as far as its leading white
// space goes; its kind is judged on the first chunk.
constexpr int image_chunk_size = 65536;

// What a partition's image has to be.
enum class ImageNeed {
  any,          // anything that is not plainly a web page
  boot,         // boot, init_boot, recovery (+_a/_b): a boot image or an ELF image
  vendor_boot,  // vendor_boot (+_a/_b): a vendor_boot image
  boot_run,     // POST /boot: a boot image, not sparse (fastboot wraps anything else as a kernel)
};

// The need of `partition` (letter case ignored); a null name means POST
// /boot.
ImageNeed image_need(const char* partition);

// The header an image begins with: "ANDROID!", "VNDRBOOT", "\x7f" "ELF", or
// none of them.
enum class ImageHeader { none, boot, vendor_boot, elf };

// An image's kind. For an Android sparse image (magic 0xED26FF3A, stored
// little-endian) the header is that of the data its first chunk writes at
// the partition's start; when that chunk writes no raw data there (a fill,
// don't-care or CRC chunk comes first) or the sparse headers cannot be read
// within the bytes given, the header is none: the partition would not start
// with a boot header.
struct ImageKind {
  ImageHeader header = ImageHeader::none;
  bool sparse = false;
};

// The kind of an image whose first `count` bytes are `head`.
ImageKind image_kind(const unsigned char* head, int count);

// True when an image of `kind` is what `need` asks for.
bool kind_fits(ImageKind kind, ImageNeed need);

enum class ImageVerdict {
  fits,
  // After an optional UTF-8 byte order mark and any amount of white space
  // the file begins with '<' or '{', or holds nothing else (an empty file
  // too).
  no_image,
  wrong_kind,  // not the kind `need` asks for
};

// The verdict on a whole file of `count` bytes; `kind` receives its kind.
ImageVerdict judge_image(const unsigned char* bytes, int count, ImageNeed need, ImageKind* kind);

// judge_image for the file at `path`, read in chunks up to its first byte
// that is not white space (at most the whole file); a file that cannot be
// read is no image.
ImageVerdict judge_image_file(const char* path, ImageNeed need, ImageKind* kind);
