#include "actions/temp_image.h"

#include <cstdio>

#include "tools/tool_locator.h"

void temp_image_name(int port, char* out, int size) {
  if (port == first_copy_port) {
    std::snprintf(out, size, "%s", first_copy_image_name);
  } else {
    std::snprintf(out, size, "_bridge_flash_%d.tmp", port);
  }
}

TempImage::TempImage(int port) {
  char dir[tool_path_size];
  exe_dir(dir);
  char name[32];
  temp_image_name(port, name, sizeof name);
  int n = std::snprintf(path_, sizeof path_, "%s%c%s", dir, platform::path_separator, name);
  // A cut path would name some other file.
  usable_ = n > 0 && n < static_cast<int>(sizeof path_);
  if (!usable_) path_[0] = '\0';
}

void TempImage::remove() {
  if (usable_) platform::delete_file(path_);
}

ImageWriter::~ImageWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool ImageWriter::open(const char* path) {
  // Deletable while open: a stop from outside removes it mid-upload.
  file_ = platform::create_deletable_file(path);
  failed_ = file_ == nullptr;
  // The callers write whole chunks of up to 1 MiB: one write call each,
  // without copying through the stream's small buffer first.
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
  return file_ != nullptr;
}

bool ImageWriter::write(const char* data, int count) {
  if (file_ == nullptr || failed_) return false;
  if (count > 0 && std::fwrite(data, 1, static_cast<size_t>(count), file_) != static_cast<size_t>(count)) {
    failed_ = true;
  }
  return !failed_;
}

bool ImageWriter::finish() {
  if (file_ == nullptr) return false;
  // A close that fails (a full disk, for one) means the file is not whole.
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return closed && !failed_;
}
