// A file opened for reading at explicit offsets (no shared file position), shared for
// reading with other openers. Used by the ZIP reader for archives in files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False when the file cannot be opened for reading (or is not a regular file).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return open_; }
  // Length of the file when it was opened.
  uint64_t Size() const { return size_; }
  // Reads up to n bytes at offset; the count read (less only at the end of the file or
  // on an error). Safe to call from several threads at once.
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) const;

 private:
  bool open_ = false;
  uint64_t size_ = 0;
  intptr_t handle_ = -1;  // file descriptor (POSIX) or HANDLE (Windows)
};

}  // namespace plat
