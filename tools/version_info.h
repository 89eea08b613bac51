// The version information resource (RT_VERSION): a fixed block with the file and product
// version numbers, and a string table in English (United States), Unicode.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using VersionNumber = std::array<uint16_t, 4>;

// "1", "1.2", "1.2.3" or "1.2.3.4", each part a decimal number up to 65535; missing
// parts are 0. False for anything else.
bool ParseVersionNumber(std::string_view text, VersionNumber& out);

// The texts, in the tool's narrow encoding; empty ones are left out.
struct VersionTexts {
  std::string fileVersion;
  std::string productVersion;
  std::string productName;
  std::string company;
  std::string description;
  std::string copyright;
  std::string originalFilename;
};

// The RT_VERSION data. A missing file or product version takes the other one. False with a
// reason when a version does not parse.
bool BuildVersionInfo(const VersionTexts& texts, std::string& out, std::string& error);
