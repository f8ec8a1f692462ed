// The temporary image file beside the program, which holds an image from
// its upload or download until fastboot has used it.
#pragma once
#include <cstdio>

#include "http/body_reader.h"
#include "platform/files.h"

// The first copy of the bridge keeps the plain name; a copy serving another
// port gets a name of its own, so two copies in one folder never share one.
constexpr int first_copy_port = 9765;
constexpr char first_copy_image_name[] = "_bridge_flash.tmp";

// Writes the file name (no folder) for the copy serving `port` into `out`.
void temp_image_name(int port, char* out, int size);

// Owns the temporary image file's path for one request and deletes the file
// on every way out of it.
class TempImage {
 public:
  // Forms the path in the program's folder; usable() says whether it fit.
  explicit TempImage(int port);
  ~TempImage() { remove(); }
  TempImage(const TempImage&) = delete;
  TempImage& operator=(const TempImage&) = delete;

  bool usable() const { return usable_; }
  const char* path() const { return path_; }
  // Deletes the file now (a missing file is fine).
  void remove();

 private:
  char path_[platform::max_path] = {};
  bool usable_ = false;
};

// Writes a file from its start, remembering whether any write failed, and
// closes it on the way out.
class ImageWriter final : public BodyWriter {
 public:
  ImageWriter() = default;
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Creates or empties the file; false when it cannot be opened.
  bool open(const char* path);
  // Appends `count` bytes; false when not all of them were written.
  bool write(const char* data, int count) override;
  // Closes the file; true when every byte written so far reached it.
  bool finish();

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};
