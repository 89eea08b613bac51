// The launcher's exceptions. Only the ZIP reader throws; everything else reports result codes.
#pragma once
#include <string>

// Base of the launcher's exception classes; a handler for it also catches CZipException.
class MyCException {
 public:
  virtual ~MyCException() = default;
  // A short English description for diagnostics.
  virtual std::string Describe() const { return "launcher error"; }
};

// A failure of the ZIP reader: a cause code and the name of the source (the path of a file
// source, empty for a memory source).
class CZipException : public MyCException {
 public:
  enum Cause : int {
    kGenericZlib = 100,    // a zlib code without a code of its own
    kBadArchive = 101,     // short read, bad signature, inconsistent records, overlapping entries
    kBadCrc = 102,         // CRC-32 mismatch after the whole entry was read
    kEncrypted = 110,      // the entry is encrypted; no password is ever set
    kNoEndRecord = 116,    // no end-of-central-directory record in the last 65557 bytes
    kZlibStreamEnd = 500,  // zlib code 1
    kZlibNeedDict = 501,   // 2
    kZlibErrno = 502,      // -1
    kZlibStream = 503,     // -2
    kZlibData = 504,       // -3
    kZlibMemory = 505,     // -4
    kZlibBuffer = 506,     // -5
    kZlibVersion = 507,    // -6
  };

  CZipException(int cause, std::string sourceName) : cause(cause), sourceName(std::move(sourceName)) {}

  // The cause code for a zlib return code (Z_STREAM_END .. Z_VERSION_ERROR, else 100).
  static int CauseForZlib(int zlibCode);

  std::string Describe() const override;

  int cause;
  std::string sourceName;
};
