#include "zip/zip_exception.h"

#include <zlib.h>

int CZipException::CauseForZlib(int zlibCode) {
  switch (zlibCode) {
    case Z_STREAM_END: return kZlibStreamEnd;
    case Z_NEED_DICT: return kZlibNeedDict;
    case Z_ERRNO: return kZlibErrno;
    case Z_STREAM_ERROR: return kZlibStream;
    case Z_DATA_ERROR: return kZlibData;
    case Z_MEM_ERROR: return kZlibMemory;
    case Z_BUF_ERROR: return kZlibBuffer;
    case Z_VERSION_ERROR: return kZlibVersion;
    default: return kGenericZlib;
  }
}

std::string CZipException::Describe() const {
  std::string text = "ZIP archive error " + std::to_string(cause);
  if (!sourceName.empty()) text += " in " + sourceName;
  return text;
}
