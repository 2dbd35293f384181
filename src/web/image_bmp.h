// An image file as a BMP the program reads without decoding (the page's image decoder).
#pragma once

#include <vector>

// The image file of size bytes at data, decoded as the program decodes it,
// as an uncompressed BMP from which SDL reads back a surface of the same
// layout and pixels (8-bit RGBA or RGB in byte order). False,
// with bmp untouched, for anything else (not an image, or another layout),
// which the program is then left to decode itself.
bool imageAsBmp(const unsigned char* data, int size, std::vector<unsigned char>* bmp);
