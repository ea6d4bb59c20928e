#pragma once
// A small PNG reader for the program's own artwork outside Windows (the
// preview tool and tests): 8-bit greyscale, grey + alpha, RGB and RGBA,
// non-interlaced, with its own inflate. Pictures come out as premultiplied
// BGRA words (alpha in bits 24-31, then red, green, blue), top-down rows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovra {

// The bytes of a zlib stream (header, deflate blocks, Adler-32). Nothing for a
// damaged stream, a preset dictionary, or output beyond `maxOut` bytes.
std::optional<std::vector<uint8_t>> zlibInflate(const uint8_t* data, size_t size, size_t maxOut);

struct PngPicture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // premultiplied BGRA, width x height
};

// Nothing for anything but a well-formed PNG of a supported kind at most
// 8192 pixels on a side; chunk CRCs and the stream's checksum are verified.
std::optional<PngPicture> pngDecode(const uint8_t* data, size_t size);
std::optional<PngPicture> pngReadFile(const std::string& path);

}  // namespace kovra
