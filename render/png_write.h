#pragma once
// A small PNG writer for premultiplied BGRA buffers: 8-bit RGBA (or RGB when
// every pixel is opaque), unfiltered rows in stored deflate blocks. Big files,
// no compressor needed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovra {

// CRC-32 as PNG chunks carry it (reflected, polynomial 0xEDB88320); `crc` is
// the running value of an earlier call, 0 to start.
uint32_t pngCrc32(const uint8_t* data, size_t size, uint32_t crc = 0);
// Adler-32 as a zlib stream ends with it.
uint32_t pngAdler32(const uint8_t* data, size_t size);

// The PNG file bytes of a width x height picture whose rows lie `stride`
// pixels apart. Colours are turned back into straight alpha. Empty for a
// picture without pixels.
std::vector<uint8_t> pngEncode(const uint32_t* pixels, int width, int height, int stride);
// pngEncode written to a file; false when it could not be written.
bool pngWriteFile(const std::string& path, const uint32_t* pixels, int width, int height, int stride);

}  // namespace kovra
