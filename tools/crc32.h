// CRC-32 (the ZIP and zlib polynomial) of a whole buffer of any size: carry-less
// multiplication folding where the processor has it, zlib's crc32 elsewhere.
#pragma once
#include <cstddef>
#include <cstdint>

uint32_t Crc32Of(const uint8_t* data, size_t n);
