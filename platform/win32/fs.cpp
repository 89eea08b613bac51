#include "platform/fs.h"

#include <io.h>
#include <windows.h>

namespace plat {

std::string ExecutablePath() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  if (n == 0) return {};
  return std::string(buf, n < MAX_PATH ? n : MAX_PATH - 1);
}

std::string CurrentDirectory() {
  char buf[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, buf);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::string(buf, n);
}

bool ChangeDirectory(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()) != 0; }

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buf, nullptr);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::string(buf, n);
}

bool CanRead(const std::string& path) { return !path.empty() && _access(path.c_str(), 4) == 0; }

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
HANDLE OpenForRead(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out) {
  HANDLE h = OpenForRead(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size) || size.QuadPart > 0x7FFFFFFF) {
    CloseHandle(h);
    return false;
  }
  out.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0, total = 0;
  while (total < out.size()) {
    if (!ReadFile(h, out.data() + total, static_cast<DWORD>(out.size() - total), &got, nullptr)) {
      CloseHandle(h);
      return false;
    }
    if (got == 0) break;
    total += got;
  }
  out.resize(total);
  CloseHandle(h);
  return true;
}

MappedFile::~MappedFile() { Close(); }

bool MappedFile::Open(const std::string& path) {
  Close();
  HANDLE h = OpenForRead(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size) || size.QuadPart >= 0x7FFFFFFF) {
    CloseHandle(h);
    return false;
  }
  if (size.QuadPart == 0) {
    CloseHandle(h);
    static const uint8_t empty = 0;
    data_ = &empty;
    return true;
  }
  HANDLE m = CreateFileMappingA(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(h);
  if (!m) return false;
  void* view = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    CloseHandle(m);
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = static_cast<uint32_t>(size.QuadPart);
  handle_ = m;
  return true;
}

void MappedFile::Close() {
  if (handle_) {
    UnmapViewOfFile(data_);
    CloseHandle(static_cast<HANDLE>(handle_));
  }
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  // Same semantics as FindFirstFile's matching of "*" and "?", without touching the disk.
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool ListDirectory(const std::string& dir, const std::string& pattern, std::vector<DirEntry>& out) {
  std::string spec = dir;
  if (!spec.empty() && spec.back() != '\\' && spec.back() != '/') spec += '\\';
  spec += pattern;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(spec.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    out.push_back({fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return true;
}

}  // namespace plat

namespace plat {

bool PathExists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryIdentity(const std::string& path, std::string& id) {
  HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  if (!ok) return false;
  id = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
       std::to_string(info.nFileIndexLow);
  return true;
}

}  // namespace plat
