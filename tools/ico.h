// Icon files (.ico) and the two resource kinds an executable keeps them as: one RT_ICON
// per image and an RT_GROUP_ICON directory that names them.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct IconImage {
  uint8_t width = 0;  // 0 means 256
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  std::string data;  // a PNG stream or a DIB (header, colours, XOR and AND masks)
};

// Reads every image of an .ico file. False with a reason when the file is not an icon file,
// an image lies outside it, or an image is neither PNG nor a bitmap.
bool ParseIco(std::string_view file, std::vector<IconImage>& images, std::string& error);

// The RT_GROUP_ICON data naming the images as RT_ICON firstId, firstId + 1, ...
std::string GroupIconData(const std::vector<IconImage>& images, uint16_t firstId);
