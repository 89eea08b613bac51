// The file the tool writes. It is created under a temporary name beside its destination and
// renamed into place only when complete, so a failed run never leaves a partial file behind.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct OutputFile {
  std::string path;      // destination
  std::string tempPath;  // where the bytes go until CommitOutput
  std::FILE* file = nullptr;
  uint64_t size = 0;  // bytes written so far
  bool committed = false;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // closes and removes the temporary file unless committed
};

// Opens a fresh temporary file in the destination's directory.
bool CreateOutput(OutputFile& out, const std::string& path, std::string& err);

// Appends bytes at the end.
bool WriteBytes(OutputFile& out, const void* data, size_t n, std::string& err);

// Rewrites bytes already written (offset + n must not pass the end).
bool PatchBytes(OutputFile& out, uint64_t offset, const void* data, size_t n, std::string& err);

// Flushes, closes, optionally marks the file executable (where readable), and renames it
// over the destination.
bool CommitOutput(OutputFile& out, bool executable, std::string& err);

// Removes the temporary file now; the destination is left as it was.
void DiscardOutput(OutputFile& out);
