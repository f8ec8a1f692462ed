// Refuses files that are plainly not a partition image before fastboot
// sees them: a web page or a JSON error saved in place of the file (what
// a share link often gives), or a boot image without its header.
#pragma once

// The file is read in chunks of this size, as far as its leading white
// space goes.
constexpr int image_chunk_size = 65536;

// True for the partitions that hold a boot image: boot, init_boot,
// recovery and vendor_boot, each also with "_a" or "_b" (letter case
// ignored). A null name means POST /boot, which boots such an image too.
bool needs_boot_header(const char* partition);

// True when a whole file of `count` bytes is no image: after an optional
// UTF-8 byte order mark and any amount of white space it begins with '<' or
// '{', or holds nothing else (an empty file too); or, when `boot_header` is
// set, it does not begin with "ANDROID!", "VNDRBOOT" or "\x7f" "ELF".
bool looks_like_no_image(const unsigned char* bytes, int count, bool boot_header);

// looks_like_no_image for the file at `path`, read in chunks up to its
// first byte that is not white space (at most the whole file); a file that
// cannot be read counts as no image.
bool file_looks_like_no_image(const char* path, bool boot_header);
