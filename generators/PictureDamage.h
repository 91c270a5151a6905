#pragma once
// Damage done to an encoded picture the way a writer bug would do it: a wrong chunk CRC, a JPEG
// cut inside its scan, a GIF code beyond its table, a BMP header that lies about the file. The
// common classes (truncate, flip, zero, empty) are placed where each format's readers can see
// them when the format lets them: past the header, and in a JPEG steered onto bytes that turn
// into markers, since its readers take most changed scan bytes for other pixels.

#include "engine/FileDamage.h"

#include <cstdint>
#include <string>
#include <string_view>

// "png", "jpeg", "gif" or "bmp" for the image types of the image generator.
std::string_view PictureFormat(int imageType);

// Damages the encoded picture with the record's class, and fills the record in: the changes with
// their offsets, the outcome and the line on what a reader does.
void DamagePicture(std::string& bytes, int imageType, CSeededStream& random, CDamageRecord& record);

// Whether a GIF's first image decodes to every pixel its descriptor promises, followed by the
// trailer, as giflib reads it.
bool GifDecodesWhole(std::string_view bytes);
