// Refuses files that are plainly not a partition image before fastboot
// sees them: a web page or a JSON error saved in place of the file (what
// a share link often gives), or a boot image without its header.
#pragma once

constexpr int image_head_size = 512;  // bytes read from the file's start

// True for the partitions that hold a boot image: boot, init_boot,
// recovery and vendor_boot, each also with "_a" or "_b" (letter case
// ignored). A null name means POST /boot, which boots such an image too.
bool needs_boot_header(const char* partition);

// True when the first `count` bytes of a file say it is no image: after an
// optional UTF-8 byte order mark and white space they begin with '<' or
// '{'; or, when `boot_header` is set, they do not begin with "ANDROID!",
// "VNDRBOOT" or "\x7f" "ELF".
bool looks_like_no_image(const unsigned char* head, int count, bool boot_header);

// looks_like_no_image for the first bytes of the file at `path`; a file
// that cannot be read counts as no image.
bool file_looks_like_no_image(const char* path, bool boot_header);
