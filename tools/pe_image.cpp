#include "tools/pe_image.h"

#include <algorithm>

#include "tools/byte_io.h"

namespace {

constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoriesOffset = 112;  // inside a PE32+ optional header
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kInitializedData = 0x40;
constexpr uint32_t kReadableSection = 0x40000000;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint32_t AlignUp(uint32_t v, uint32_t alignment) { return (v + alignment - 1) & ~(alignment - 1); }

bool Fail(std::string& error, const char* what) {
  error = std::string("not a valid 64-bit Windows executable: ") + what;
  return false;
}

bool ParseHeaders(std::string_view file, PeImage& image, uint16_t& sectionCount, std::string& error) {
  uint32_t peOffset = 0;
  if (file.size() < 64 || file.substr(0, 2) != "MZ") return Fail(error, "no MZ header");
  ReadLe32(file, 0x3C, peOffset);
  image.coffHeader = peOffset + 4;
  uint16_t optionalSize = 0, magic = 0;
  if (!HasBytes(file, peOffset, 4 + kCoffHeaderSize) || file.substr(peOffset, 4) != std::string_view("PE\0\0", 4))
    return Fail(error, "no PE signature");
  ReadLe16(file, image.coffHeader + 2, sectionCount);
  ReadLe16(file, image.coffHeader + 16, optionalSize);
  image.optionalHeader = image.coffHeader + kCoffHeaderSize;
  image.sectionTable = image.optionalHeader + optionalSize;
  if (optionalSize < kDirectoriesOffset || !HasBytes(file, image.optionalHeader, optionalSize))
    return Fail(error, "optional header missing or cut off");
  ReadLe16(file, image.optionalHeader, magic);
  if (magic != kPe32PlusMagic) return Fail(error, "not a PE32+ image");
  ReadLe32(file, image.optionalHeader + 32, image.sectionAlignment);
  ReadLe32(file, image.optionalHeader + 36, image.fileAlignment);
  ReadLe32(file, image.optionalHeader + 60, image.sizeOfHeaders);
  ReadLe32(file, image.optionalHeader + 108, image.directoryCount);
  if (image.directoryCount > 16 || kDirectoriesOffset + 8 * image.directoryCount > optionalSize)
    return Fail(error, "bad data directory count");
  if (image.sizeOfHeaders > file.size()) return Fail(error, "headers cut off");
  if (!IsPowerOfTwo(image.fileAlignment) || !IsPowerOfTwo(image.sectionAlignment) ||
      image.sectionAlignment < image.fileAlignment || image.sectionAlignment > (1u << 28))
    return Fail(error, "bad section or file alignment");
  return true;
}

bool ParseSection(std::string_view file, uint32_t at, PeSection& s) {
  size_t nameEnd = file.substr(at, 8).find('\0');
  s.name = std::string(file.substr(at, std::min<size_t>(nameEnd, 8)));
  ReadLe32(file, at + 8, s.virtualSize);
  ReadLe32(file, at + 12, s.virtualAddress);
  ReadLe32(file, at + 16, s.rawSize);
  ReadLe32(file, at + 20, s.rawPointer);
  ReadLe32(file, at + 36, s.characteristics);
  if (s.rawSize == 0) return true;
  return uint64_t(s.rawPointer) + s.rawSize <= file.size() &&
         uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize) <= 0xFFFFFFFFu;
}

// Raw bytes the loader maps: the raw data, cut to the virtual size when that is smaller.
uint32_t LoadedSize(const PeSection& s) { return s.virtualSize == 0 ? s.rawSize : std::min(s.virtualSize, s.rawSize); }

const PeSection* LastSection(const PeImage& image) {
  return image.sections.empty() ? nullptr : &image.sections.back();
}

bool IsLastInFileAndMemory(const PeImage& image, size_t index) {
  const PeSection& s = image.sections[index];
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const PeSection& o = image.sections[i];
    if (i == index) continue;
    if (o.virtualAddress >= s.virtualAddress) return false;
    if (o.rawSize != 0 && o.rawPointer + o.rawSize > s.rawPointer) return false;
  }
  return true;
}

bool PlanAppend(const PeImage& image, ResourceSlot& slot, std::string& error) {
  uint32_t tableEnd = image.sectionTable + kSectionHeaderSize * uint32_t(image.sections.size() + 1);
  uint32_t firstRaw = image.sizeOfHeaders;
  for (const PeSection& s : image.sections)
    if (s.rawSize != 0) firstRaw = std::min(firstRaw, s.rawPointer);
  if (tableEnd > firstRaw) {
    error = "the executable has no room in its headers for a resource section";
    return false;
  }
  uint64_t memoryEnd = image.sizeOfHeaders;
  for (const PeSection& s : image.sections)
    memoryEnd = std::max(memoryEnd, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize));
  if (memoryEnd > 0x7FFFFFFF) {
    error = "the executable's sections fill its address range";
    return false;
  }
  slot.append = true;
  slot.rva = AlignUp(uint32_t(memoryEnd), image.sectionAlignment);
  slot.rawPointer = AlignUp(ImageEnd(image), image.fileAlignment);
  return true;
}

void WriteSectionHeader(std::string& file, uint32_t at, const PeSection& s) {
  std::string name = s.name.substr(0, 8);
  name.resize(8, '\0');
  file.replace(at, 8, name);
  WriteLe32(file, at + 8, s.virtualSize);
  WriteLe32(file, at + 12, s.virtualAddress);
  WriteLe32(file, at + 16, s.rawSize);
  WriteLe32(file, at + 20, s.rawPointer);
  for (uint32_t off = 24; off < 36; off += 4) WriteLe32(file, at + off, 0);
  WriteLe32(file, at + 36, s.characteristics);
}

void WriteDirectory(std::string& file, const PeImage& image, int index, PeDirectory d) {
  uint32_t at = image.optionalHeader + kDirectoriesOffset + 8 * uint32_t(index);
  WriteLe32(file, at, d.rva);
  WriteLe32(file, at + 4, d.size);
}

// The image size and the total of initialised data, for a new last section.
void UpdateSizes(std::string& file, const PeImage& image, const PeSection& section, uint32_t oldRaw) {
  uint32_t initialized = 0;
  ReadLe32(file, image.optionalHeader + 8, initialized);
  if (section.characteristics & kInitializedData)
    WriteLe32(file, image.optionalHeader + 8, initialized - oldRaw + section.rawSize);
  WriteLe32(file, image.optionalHeader + 56, AlignUp(section.virtualAddress + section.virtualSize, image.sectionAlignment));
}

}  // namespace

bool ParsePeImage(std::string_view file, PeImage& image, std::string& error) {
  image = PeImage{};
  uint16_t count = 0;
  if (!ParseHeaders(file, image, count, error)) return false;
  if (!HasBytes(file, image.sectionTable, kSectionHeaderSize * uint32_t(count)) ||
      uint64_t(image.sectionTable) + kSectionHeaderSize * count > image.sizeOfHeaders)
    return Fail(error, "section table cut off or outside the headers");
  for (uint16_t i = 0; i < count; ++i) {
    PeSection s;
    if (!ParseSection(file, image.sectionTable + kSectionHeaderSize * i, s))
      return Fail(error, "a section lies beyond the end of the file");
    image.sections.push_back(s);
  }
  return true;
}

PeDirectory GetDirectory(std::string_view file, const PeImage& image, int index) {
  PeDirectory d;
  if (index < 0 || uint32_t(index) >= image.directoryCount) return d;
  uint32_t at = image.optionalHeader + kDirectoriesOffset + 8 * uint32_t(index);
  ReadLe32(file, at, d.rva);
  ReadLe32(file, at + 4, d.size);
  return d;
}

uint32_t ImageEnd(const PeImage& image) {
  uint32_t end = image.sizeOfHeaders;
  for (const PeSection& s : image.sections)
    if (s.rawSize != 0) end = std::max(end, s.rawPointer + s.rawSize);
  return end;
}

bool RvaToOffset(const PeImage& image, uint32_t rva, uint32_t size, uint32_t& offset) {
  for (const PeSection& s : image.sections) {
    if (rva < s.virtualAddress || LoadedSize(s) == 0) continue;  // no raw data, nothing in the file
    uint64_t inSection = uint64_t(rva) - s.virtualAddress;
    if (inSection + size > LoadedSize(s)) continue;
    offset = s.rawPointer + uint32_t(inSection);
    return true;
  }
  return false;
}

std::string_view BytesFromRva(std::string_view file, const PeImage& image, uint32_t rva) {
  for (const PeSection& s : image.sections) {
    if (rva < s.virtualAddress || rva - s.virtualAddress >= LoadedSize(s)) continue;
    uint32_t inSection = rva - s.virtualAddress;
    return file.substr(s.rawPointer + inSection, LoadedSize(s) - inSection);
  }
  return {};
}

bool PlanResourceSection(std::string_view file, const PeImage& image, ResourceSlot& slot, std::string& error) {
  slot = ResourceSlot{};
  if (image.directoryCount <= kPeResourceDirectory) {
    error = "the executable has no resource directory entry";
    return false;
  }
  PeDirectory dir = GetDirectory(file, image, kPeResourceDirectory);
  if (dir.rva == 0) return PlanAppend(image, slot, error);
  const PeSection* last = LastSection(image);
  bool inLast = last && dir.rva >= last->virtualAddress &&
                uint64_t(dir.rva) + dir.size <= uint64_t(last->virtualAddress) + std::max(last->virtualSize, last->rawSize);
  if (!inLast || !IsLastInFileAndMemory(image, image.sections.size() - 1) || last->rawSize == 0 ||
      last->rawPointer < image.sizeOfHeaders) {
    error = "the stub's resources are not in its last section, so they cannot be rewritten (rebuild the stub)";
    return false;
  }
  slot.rva = last->virtualAddress;
  slot.rawPointer = last->rawPointer;
  slot.old = dir;
  return true;
}

void InstallResourceSection(std::string& file, const PeImage& image, const ResourceSlot& slot, std::string_view data) {
  PeSection section;
  if (!slot.append) section = image.sections.back();
  const uint32_t oldRaw = slot.append ? 0 : section.rawSize;
  if (slot.append) {
    section.name = ".rsrc";
    section.characteristics = kInitializedData | kReadableSection;
  }
  section.virtualAddress = slot.rva;
  section.rawPointer = slot.rawPointer;
  section.virtualSize = uint32_t(data.size());
  section.rawSize = AlignUp(uint32_t(data.size()), image.fileAlignment);

  // Whatever followed the image goes; the new data ends the file.
  file.resize(std::min<size_t>(ImageEnd(image), slot.rawPointer));
  file.resize(slot.rawPointer, '\0');
  file.append(data);
  file.resize(size_t(section.rawPointer) + section.rawSize, '\0');

  size_t index = slot.append ? image.sections.size() : image.sections.size() - 1;
  WriteSectionHeader(file, image.sectionTable + kSectionHeaderSize * uint32_t(index), section);
  if (slot.append) WriteLe16(file, image.coffHeader + 2, uint16_t(image.sections.size() + 1));
  UpdateSizes(file, image, section, oldRaw);
  WriteDirectory(file, image, kPeResourceDirectory, {section.virtualAddress, section.virtualSize});
  if (image.directoryCount > kPeSecurityDirectory) WriteDirectory(file, image, kPeSecurityDirectory, {});
  UpdatePeChecksum(file);
}

uint32_t PeChecksum(std::string_view file, uint32_t checksumOffset) {
  // 16-bit little-endian words summed with end-around carry. The plain 64-bit sum folded
  // once at the end gives the same value, and lets the field's bytes be taken out again.
  const auto* p = reinterpret_cast<const uint8_t*>(file.data());
  const size_t n = file.size();
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2) sum += p[i] | uint32_t(p[i + 1]) << 8;
  if (n % 2 != 0) sum += p[n - 1];
  for (size_t j = checksumOffset; j < size_t(checksumOffset) + 4 && j < n; ++j) sum -= uint64_t(p[j]) << (8 * (j & 1));
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + n);
}

bool UpdatePeChecksum(std::string& file) {
  PeImage image;
  std::string error;
  if (!ParsePeImage(file, image, error)) return false;
  uint32_t field = image.optionalHeader + kPeChecksumField;
  WriteLe32(file, field, PeChecksum(file, field));
  return true;
}
