// Opens the input as an archive from memory and from a file, lists it and reads every
// entry, in pieces and whole. Any outcome but a CZipException or success is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "zip/zip_reader.h"

namespace {

void ReadEverything(ZipReader& z) {
  static uint8_t chunk[7000];
  for (size_t i = 0; i < z.EntryCount(); ++i) {
    try {
      if (i % 2 == 0) {
        std::string whole;
        z.ExtractEntry(i, whole);
        continue;
      }
      if (!z.OpenEntry(i)) continue;
      while (z.ReadEntry(chunk, sizeof chunk) > 0) {
      }
      z.CloseEntry();
    } catch (const CZipException&) {
      try {
        z.CloseEntry();
      } catch (const CZipException&) {
      }
    }
  }
}

const std::string& TempPath() {
  static const std::string path = "/tmp/zip_reader_fuzz." + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    ZipReader z;
    try {
      z.OpenMemory(data, size);
    } catch (const CZipException&) {
      return 0;
    }
    ReadEverything(z);
  }
  // The file source reads through its own buffer: exercise it on the same bytes.
  if (FILE* f = fopen(TempPath().c_str(), "wb")) {
    fwrite(data, 1, size, f);
    fclose(f);
    ZipReader z;
    try {
      z.OpenFile(TempPath());
      ReadEverything(z);
    } catch (const CZipException&) {
    }
  }
  return 0;
}
