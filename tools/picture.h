// Splash pictures: recognising a picture by its first bytes, and turning a .bmp file into
// the packed bitmap (DIB) that a BITMAP resource holds.
#pragma once
#include <string>
#include <string_view>

enum class PictureKind { Unknown, Bmp, Png, Gif, Jpeg };

// The kind of picture by its content (never by the file name).
PictureKind SniffPicture(std::string_view bytes);

// The BITMAP resource of a .bmp file: the file without its 14-byte file header, with the
// pixels moved right behind the colour table where the system looks for them. False with
// a reason when the file is not a bitmap the system can load.
bool BmpToResource(std::string_view file, std::string& dib, std::string& error);
