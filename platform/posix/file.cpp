#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  open_ = true;
  return true;
}

void InputFile::Close() {
  if (open_) close(static_cast<int>(handle_));
  open_ = false;
  handle_ = -1;
  size_ = 0;
}

size_t InputFile::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (!open_) return 0;
  size_t got = 0;
  while (got < n) {
    ssize_t r = pread(static_cast<int>(handle_), static_cast<char*>(buffer) + got, n - got,
                      static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

}  // namespace plat
