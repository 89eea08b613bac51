// The parts of a 64-bit Windows executable (PE32+) that the wrap tool edits: the headers,
// the section table, the data directories, the checksum and the last section, which holds
// the resources. Every read is checked against the bounds of the file.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct PeSection {
  std::string name;  // up to 8 characters
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;
  uint32_t characteristics = 0;
};

struct PeImage {
  uint32_t coffHeader = 0;      // file offset of the COFF header (after "PE\0\0")
  uint32_t optionalHeader = 0;  // file offset of the optional header
  uint32_t sectionTable = 0;    // file offset of the first section header
  uint32_t sizeOfHeaders = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t directoryCount = 0;
  std::vector<PeSection> sections;
};

struct PeDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

inline constexpr int kPeSecurityDirectory = 4;
inline constexpr int kPeResourceDirectory = 2;
inline constexpr uint32_t kPeChecksumField = 64;  // offset inside the optional header

// Reads the headers and the section table; false with a reason when the file is not a
// well-formed PE32+ image (a section or header beyond the end of the file included).
bool ParsePeImage(std::string_view file, PeImage& image, std::string& error);

// Data directory `index`, or {0, 0} when the image has fewer directories.
PeDirectory GetDirectory(std::string_view file, const PeImage& image, int index);

// End of the image proper: the end of the raw data of the section that ends last, or of
// the headers. What follows is appended data, not part of the image.
uint32_t ImageEnd(const PeImage& image);

// File offset of `size` bytes at `rva`, when they lie in one section's raw data.
bool RvaToOffset(const PeImage& image, uint32_t rva, uint32_t size, uint32_t& offset);

// The bytes from `rva` to the end of the loaded raw data of the section holding it; empty
// when no section holds it.
std::string_view BytesFromRva(std::string_view file, const PeImage& image, uint32_t rva);

// Where the resource section goes: over the existing one, which must be the image's last
// section, or as a new section after the last one when the image has none.
struct ResourceSlot {
  bool append = false;
  uint32_t rva = 0;
  uint32_t rawPointer = 0;
  PeDirectory old;  // the resource directory being replaced ({0, 0} when appending)
};

bool PlanResourceSection(std::string_view file, const PeImage& image, ResourceSlot& slot, std::string& error);

// Writes `data` (built for slot.rva) as the image's resource section and fixes the section
// table, the image size, the resource directory and the checksum. Everything after the
// image (appended data, a certificate) is dropped.
void InstallResourceSection(std::string& file, const PeImage& image, const ResourceSlot& slot,
                            std::string_view data);

// The checksum of the whole file as the system computes it (the checksum field counts as 0).
uint32_t PeChecksum(std::string_view file, uint32_t checksumOffset);

// Recomputes and stores the checksum over the whole file, appended data included; false
// when the file is not a PE32+ image.
bool UpdatePeChecksum(std::string& file);
