#include "tools/output_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

std::string Reason() { return std::strerror(errno); }

std::string TempNameBeside(const std::string& path) {
  fs::path p(path);
  std::random_device rd;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".plumbox-%08x.tmp", static_cast<unsigned>(rd()));
  std::string name(1, '.');
  name += p.filename().string();
  name += suffix;
  return (p.parent_path() / name).string();
}

bool Fail(OutputFile& out, std::string& err, const std::string& what) {
  err = "cannot write " + out.path + ": " + what;
  return false;
}

}  // namespace

OutputFile::~OutputFile() { DiscardOutput(*this); }

bool CreateOutput(OutputFile& out, const std::string& path, std::string& err) {
  out.path = path;
  std::error_code ec;
  if (path.empty() || path.back() == '/' || path.back() == '\\' || fs::is_directory(path, ec))
    return Fail(out, err, "it is a directory");
  for (int attempt = 0; attempt < 10 && !out.file; ++attempt) {
    out.tempPath = TempNameBeside(path);
    if (fs::exists(out.tempPath, ec)) continue;
    out.file = std::fopen(out.tempPath.c_str(), "wb");
    if (!out.file) return Fail(out, err, Reason());
  }
  if (!out.file) return Fail(out, err, "no free temporary name");
  out.size = 0;
  out.committed = false;
  return true;
}

bool WriteBytes(OutputFile& out, const void* data, size_t n, std::string& err) {
  if (n == 0) return true;
  if (std::fwrite(data, 1, n, out.file) != n) return Fail(out, err, Reason());
  out.size += n;
  return true;
}

bool PatchBytes(OutputFile& out, uint64_t offset, const void* data, size_t n, std::string& err) {
  // Every file the tool writes stays below 2 GiB, so a long offset is enough everywhere.
  if (offset + n > out.size || out.size > LONG_MAX) return Fail(out, err, "internal error: patch outside the file");
  if (std::fseek(out.file, static_cast<long>(offset), SEEK_SET) != 0 || std::fwrite(data, 1, n, out.file) != n ||
      std::fseek(out.file, static_cast<long>(out.size), SEEK_SET) != 0)
    return Fail(out, err, Reason());
  return true;
}

namespace {

void AddExecuteBits(const std::string& path) {
  std::error_code ec;
  fs::perms p = fs::status(path, ec).permissions();
  if (ec) return;
  fs::perms add = fs::perms::none;
  if ((p & fs::perms::owner_read) != fs::perms::none) add |= fs::perms::owner_exec;
  if ((p & fs::perms::group_read) != fs::perms::none) add |= fs::perms::group_exec;
  if ((p & fs::perms::others_read) != fs::perms::none) add |= fs::perms::others_exec;
  fs::permissions(path, add, fs::perm_options::add, ec);
}

}  // namespace

bool CommitOutput(OutputFile& out, bool executable, std::string& err) {
  std::FILE* f = out.file;
  out.file = nullptr;
  bool flushed = std::fflush(f) == 0;
  std::string reason = flushed ? "" : Reason();
  if (std::fclose(f) != 0 && flushed) {
    flushed = false;
    reason = Reason();
  }
  if (!flushed) return Fail(out, err, reason);
  if (executable) AddExecuteBits(out.tempPath);
  std::error_code ec;
  fs::rename(out.tempPath, out.path, ec);
  if (ec) {
    // Some runtimes refuse to rename over an existing file.
    std::error_code ignored;
    if (fs::is_regular_file(out.path, ignored) && fs::remove(out.path, ignored)) fs::rename(out.tempPath, out.path, ec);
  }
  if (ec) return Fail(out, err, ec.message());
  out.committed = true;
  return true;
}

void DiscardOutput(OutputFile& out) {
  if (out.file) std::fclose(out.file);
  out.file = nullptr;
  if (!out.committed && !out.tempPath.empty()) {
    std::error_code ec;
    fs::remove(out.tempPath, ec);
  }
  out.tempPath.clear();
}
