// File system services of the platform layer: the executable's own path, directories,
// read-only mappings and directory enumeration. Paths are narrow strings in the user's
// code page on Windows and plain bytes (normally UTF-8) on Linux.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Full path of the running executable, or "" when the system cannot tell.
std::string ExecutablePath();

// The process's current directory as the system reports it (no separator added).
std::string CurrentDirectory();
bool ChangeDirectory(const std::string& dir);

// Absolute, normalised form of a path; "" on failure.
std::string FullPath(const std::string& path);

// True when the path (file or directory) exists and may be opened for reading.
bool CanRead(const std::string& path);
bool IsDirectory(const std::string& path);

// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// A read-only mapping of a whole file, released on destruction. Files of 2 GiB or more
// are refused: every offset of the payload is 32-bit.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  void* handle_ = nullptr;  // mapping object (Windows) or unused
};

struct DirEntry {
  std::string name;
  bool directory = false;
};

// Lists the entries of `dir` whose names match `pattern` ("*" and "?" only; "*" for all),
// in the order the file system returns them, "." and ".." included when the system lists
// them. False when the directory cannot be enumerated.
bool ListDirectory(const std::string& dir, const std::string& pattern, std::vector<DirEntry>& out);

// Matches one file name against a pattern of "*" and "?" the way the system's directory
// search does (no brackets, no escapes).
bool MatchesPattern(const std::string& pattern, const std::string& name);

// True when a file or directory of that name exists (readable or not).
bool PathExists(const std::string& path);

// Identifies a directory independently of the path that reaches it (volume and file
// index, or device and inode), so that a walk can tell when a link leads back into a
// directory it is already inside. False when the directory cannot be examined.
bool DirectoryIdentity(const std::string& path, std::string& id);

// The separator between the elements of a path list handed to the Java runtime
// (java.class.path and the like): ";" on Windows, ":" on Linux.
#ifdef _WIN32
inline constexpr char kPathListSeparator = ';';
inline constexpr size_t kMaxPathLength = 260;  // the system's path buffer, NUL included
#else
inline constexpr char kPathListSeparator = ':';
inline constexpr size_t kMaxPathLength = 4096;
#endif

}  // namespace plat
