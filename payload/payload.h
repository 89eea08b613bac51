// The payload appended to the launcher executable, and reading it back.
//
//   executable image | text block (T bytes, NUL-terminated) | T (u32 LE) | builder block (16)
//   | embedded ZIP archive (A bytes) | trailing bytes (R)
//
// A lives in the payload-location record inside the image: 8 bytes of length, a fixed
// 13-character marker and a NUL. The build tool finds the record by its marker.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "payload/context.h"

inline constexpr size_t kPayloadRecordSize = 22;
inline constexpr size_t kPayloadMarkerOffset = 8;
inline constexpr char kPayloadMarker[] = "PLB~PAYLOAD~1";  // 13 characters
static_assert(sizeof(kPayloadMarker) == 14);
inline constexpr size_t kBuilderBlockSize = 16;
// The builder block of plumbox: 8 bytes of magic, a format version (u16) and flags (u16).
inline constexpr char kBuilderMagic[] = "PLUMBOX\x1A";
inline constexpr uint16_t kBuilderFlagFlat = 1;  // the jars are merged into the top level
inline constexpr char kBinaryDebugVariable[] = "_PLUMBOX_BINARY_DEBUG_";

// The record inside this executable's image (the build tool rewrites its first 8 bytes).
extern "C" const volatile unsigned char plb_payload_record[kPayloadRecordSize];

// Low 32 bits of the archive length held by this executable's record.
uint32_t RecordArchiveLength();

// The 22 record bytes as the debug echo shows them: bytes 0..31 as '.', then a newline.
std::string RecordEcho(const volatile unsigned char* record);

// Size of the window searched for the end record below S - 22: max(S / 100, 51200).
uint32_t EndRecordWindow(uint32_t fileSize);

// Trailing length R: bytes after the highest end-of-central-directory signature found in
// the window (the 22 fixed bytes of that record excluded); 0 when none is found.
uint32_t FindTrailingLength(const uint8_t* file, uint32_t size);

// Archive start offset S - R - A, or -1 when the payload cannot be where the lengths say
// (no archive, lengths beyond the file, no room for the text length and builder block).
int32_t ArchiveStartOffset(const uint8_t* file, uint32_t size, uint32_t archiveLength);

// The text block (T bytes) in front of the archive, or false when T does not fit the file.
bool EmbeddedTextBlock(const uint8_t* file, uint32_t size, int32_t archiveStart, std::string_view& text);

// Locate payload: fills ctx.archiveStart from this executable's file (echoes the record
// when the debug variable is set).
void LocatePayload(LauncherContext& ctx);

// Whether the builder block in front of the archive is plumbox's and says "flat".
bool BuilderSaysFlat(const uint8_t* file, uint32_t size, int32_t archiveStart);

// Read embedded text: appends the text block to ctx.configText (nothing without a payload).
void ReadEmbeddedText(LauncherContext& ctx);
