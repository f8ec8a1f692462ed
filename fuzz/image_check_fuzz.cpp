// The not-an-image check over any bytes: a file written to disk gets the
// verdict the same bytes get in memory, however long the white space before
// its first other byte runs across the read chunks, and no byte past the
// bytes given is read. The input's first three bytes choose the leading
// white space (its length, a byte order mark, its bytes); the rest follows it.
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "actions/image_check.h"
#include "fuzz/fuzz_support.h"

namespace {

// A file of this process's own for the bytes under test, removed at exit.
struct ScratchFile {
  ScratchFile() {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(path, sizeof path, "%s/talvik-image-check-%d.img", folder, static_cast<int>(getpid()));
  }
  ~ScratchFile() { std::remove(path); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool write(const std::vector<unsigned char>& bytes) const {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool whole = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && whole;
  }

  char path[128];
};

// Lengths of leading white space around the chunk size, where a run of
// blanks ends one read and goes on in the next.
constexpr size_t blank_runs[] = {0,
                                 1,
                                 100,
                                 image_chunk_size - 3,
                                 image_chunk_size - 1,
                                 image_chunk_size,
                                 image_chunk_size + 1,
                                 2 * image_chunk_size};
constexpr char blanks[] = " \t\r\n\f\v";

constexpr ImageNeed needs[] = {ImageNeed::any, ImageNeed::boot, ImageNeed::vendor_boot, ImageNeed::boot_run};

bool same_kind(ImageKind a, ImageKind b) { return a.header == b.header && a.sparse == b.sparse; }

const ScratchFile scratch;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input itself, in a buffer of exactly its size.
  for (ImageNeed need : needs) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[size]);
    if (size > 0) std::memcpy(exact.get(), data, size);
    ImageKind kind;
    (void)judge_image(exact.get(), static_cast<int>(size), need, &kind);
  }
  if (size < 3) return 0;

  std::vector<unsigned char> file;
  if (data[1] & 1) file.insert(file.end(), {0xEF, 0xBB, 0xBF});
  const size_t run = blank_runs[data[0] % (sizeof blank_runs / sizeof blank_runs[0])];
  for (size_t i = 0; i < run; ++i) file.push_back(static_cast<unsigned char>(blanks[(data[2] + i) % 6]));
  file.insert(file.end(), data + 3, data + size);
  if (!scratch.write(file)) return 0;

  const int count = static_cast<int>(file.size());
  const int first_chunk = count < image_chunk_size ? count : image_chunk_size;
  for (ImageNeed need : needs) {
    ImageKind in_memory;
    const ImageVerdict whole = judge_image(file.data(), count, need, &in_memory);
    ImageKind first_kind;
    (void)judge_image(file.data(), first_chunk, need, &first_kind);
    ImageKind on_disk;
    const ImageVerdict read = judge_image_file(scratch.path, need, &on_disk);

    // The kind is judged on the first chunk; being no image, on the first
    // byte that is not white space, wherever it lies.
    fuzz::require(same_kind(on_disk, first_kind), "a file's kind is that of its first chunk");
    fuzz::require((read == ImageVerdict::no_image) == (whole == ImageVerdict::no_image),
                  "a file is no image exactly when its bytes in memory are none");
    if (read != ImageVerdict::no_image) {
      fuzz::require((read == ImageVerdict::fits) == kind_fits(on_disk, need), "a file's verdict follows its kind");
    }
    if (whole == ImageVerdict::no_image) {
      // Only white space (after an optional mark), '<' or '{' comes first.
      size_t i = file.size() >= 3 && std::memcmp(file.data(), "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
      while (i < file.size() && std::strchr(blanks, file[i]) != nullptr && file[i] != '\0') ++i;
      fuzz::require(i == file.size() || file[i] == '<' || file[i] == '{', "no image: a page, a JSON text or nothing");
    }
  }
  return 0;
}
