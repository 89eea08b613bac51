#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace plat {

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return {};
  return buf;
}

bool ChangeDirectory(const std::string& dir) { return chdir(dir.c_str()) == 0; }

std::string FullPath(const std::string& path) {
  if (path.empty()) return {};
  // Like GetFullPathName: purely lexical, the path need not exist.
  std::string abs = path[0] == '/' ? path : CurrentDirectory() + "/" + path;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= abs.size()) {
    size_t j = abs.find('/', i);
    if (j == std::string::npos) j = abs.size();
    std::string seg = abs.substr(i, j - i);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty()) out = "/";
  if (abs.size() > 1 && abs.back() == '/' && out != "/") out += "/";
  return out;
}

bool CanRead(const std::string& path) { return !path.empty() && access(path.c_str(), R_OK) == 0; }

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > INT32_MAX) {
    close(fd);
    return false;
  }
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < out.size()) {
    ssize_t n = read(fd, out.data() + got, out.size() - got);
    if (n < 0) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  close(fd);
  return true;
}

MappedFile::~MappedFile() { Close(); }

bool MappedFile::Open(const std::string& path) {
  Close();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size >= INT32_MAX) {
    close(fd);
    return false;
  }
  if (st.st_size == 0) {  // nothing to map; an empty view
    close(fd);
    static const uint8_t empty = 0;
    data_ = &empty;
    size_ = 0;
    return true;
  }
  void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<const uint8_t*>(p);
  size_ = static_cast<uint32_t>(st.st_size);
  handle_ = p;
  return true;
}

void MappedFile::Close() {
  if (handle_) munmap(handle_, size_);
  handle_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  // Windows has no bracket expressions or escapes: match only "*" and "?". A leading dot
  // needs no special treatment either, as on Windows.
  std::string p;
  for (char c : pattern) {
    if (c == '[' || c == ']' || c == '\\') p += '\\';
    p += c;
  }
  return fnmatch(p.c_str(), name.c_str(), 0) == 0;
}

bool ListDirectory(const std::string& dir, const std::string& pattern, std::vector<DirEntry>& out) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  std::string base = dir.empty() ? "./" : (dir.back() == '/' ? dir : dir + "/");
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (!MatchesPattern(pattern, name)) continue;
    bool isDir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) isDir = IsDirectory(base + name);
    out.push_back({name, isDir});
  }
  closedir(d);
  return true;
}

}  // namespace plat

namespace plat {

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool DirectoryIdentity(const std::string& path, std::string& id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  id = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  return true;
}

}  // namespace plat
