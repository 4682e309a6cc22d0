#include "platform/posix/icon_png.h"

#include <algorithm>
#include <cstdint>

namespace lum::posix {

namespace {

uint32_t Le(const std::string& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(d[at + i]);
  return v;
}

void Be32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void Chunk(std::string& png, const char* kind, const std::string& body) {
  Be32(png, static_cast<uint32_t>(body.size()));
  std::string typed = std::string(kind, 4) + body;
  png += typed;
  Be32(png, Crc32(typed));
}

// A zlib stream of stored (uncompressed) blocks: icons are small, and no
// compressor is needed to make a valid PNG.
std::string StoredZlib(const std::string& raw) {
  std::string out = "\x78\x01";
  size_t at = 0;
  do {
    size_t n = std::min<size_t>(raw.size() - at, 65535);
    bool last = at + n == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Be32(out, (b << 16) | a);
  return out;
}

std::string Png(int size, const std::string& rows) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  Be32(header, static_cast<uint32_t>(size));
  Be32(header, static_cast<uint32_t>(size));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", StoredZlib(rows));
  Chunk(png, "IEND", "");
  return png;
}

}  // namespace

std::vector<std::pair<int, std::string>> IconImagesAsPng(const std::string& ico) {
  std::vector<std::pair<int, std::string>> images;
  if (ico.size() < 6 || Le(ico, 2, 2) != 1) return images;
  const size_t count = Le(ico, 4, 2);
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    int width = static_cast<unsigned char>(ico[entry]) ? static_cast<unsigned char>(ico[entry]) : 256;
    int height = static_cast<unsigned char>(ico[entry + 1]) ? static_cast<unsigned char>(ico[entry + 1]) : 256;
    const size_t length = Le(ico, entry + 8, 4);
    const size_t offset = Le(ico, entry + 12, 4);
    if (width != height || offset > ico.size() || length > ico.size() - offset) continue;
    std::string image = ico.substr(offset, length);
    if (image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
      images.emplace_back(width, image);
      continue;
    }
    // A bitmap: its header, then bottom-up BGRA rows.
    if (image.size() < 16 || Le(image, 14, 2) != 32) continue;
    const size_t header = Le(image, 0, 4);
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    if (header > image.size() || image.size() - header < bytes) continue;
    std::string rows;
    rows.reserve(bytes + height);
    for (int y = 0; y < height; ++y) {
      rows += '\0';  // no filter
      const size_t row = header + static_cast<size_t>(height - 1 - y) * width * 4;
      for (int x = 0; x < width; ++x) {
        const size_t px = row + static_cast<size_t>(x) * 4;
        rows += image[px + 2];
        rows += image[px + 1];
        rows += image[px];
        rows += image[px + 3];
      }
    }
    images.emplace_back(width, Png(width, rows));
  }
  return images;
}

}  // namespace lum::posix
