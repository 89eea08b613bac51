#include "platform/file.h"

#include <windows.h>

namespace plat {

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  size_ = static_cast<uint64_t>(size.QuadPart);
  open_ = true;
  return true;
}

void InputFile::Close() {
  if (open_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  open_ = false;
  handle_ = -1;
  size_ = 0;
}

size_t InputFile::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (!open_) return 0;
  size_t got = 0;
  while (got < n) {
    // A positioned read: the offset travels in the OVERLAPPED block of a synchronous handle.
    OVERLAPPED ov = {};
    uint64_t at = offset + got;
    ov.Offset = static_cast<DWORD>(at);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD chunk = static_cast<DWORD>(n - got > 0x40000000 ? 0x40000000 : n - got);
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + got, chunk, &read, &ov) ||
        read == 0)
      break;
    got += read;
  }
  return got;
}

}  // namespace plat
