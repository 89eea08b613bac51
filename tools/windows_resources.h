// The resources that make a wrapped Windows executable look like its application: icon,
// version information, splash pictures, manifest and message texts. They are written into
// the launcher stub's image before the payload is appended.
#pragma once
#include <string>
#include <vector>

#include "tools/version_info.h"

struct OutputFile;

struct WindowsResourceOptions {
  std::string icon;                 // .ico file: every image becomes RT_ICON, plus RT_GROUP_ICON 1
  std::vector<std::string> splash;  // a BMP (BITMAP 100) and/or a PNG, GIF or JPEG (RCDATA 100)
  std::string manifest;             // replaces the stub's manifest (RT_MANIFEST 1)
  VersionTexts version;             // RT_VERSION 1 when any text but originalFilename is set
  std::vector<std::string> messages;  // "N=TEXT": replaces string N of the string table
  bool utf8 = false;                  // the manifest gains activeCodePage UTF-8
};

// True when the options ask for any change.
bool HasWindowsResources(const WindowsResourceOptions& options);

// Adds the resources to the stub image in `stub` (the stub's other resources, such as its
// manifest and string table, are kept unless replaced), rewrites its resource section and
// fixes the headers and the checksum. On failure `stub` is left as it was and `error`
// says what is wrong with which input.
bool ApplyWindowsResources(std::string& stub, const WindowsResourceOptions& options, std::string& error);

// Recomputes the checksum of a Windows executable being written (image and payload): the
// one in the stub's headers no longer holds once anything is appended or patched.
bool UpdateOutputChecksum(OutputFile& out, std::string& error);
