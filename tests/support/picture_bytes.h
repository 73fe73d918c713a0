// PNG and TIFF files built byte by byte for reader tests, independently of
// the libraries' writers: every field is visible, so a test can forge a bad
// CRC, an IFD offset past the end, a strip beyond the file, or sample kinds
// no writer of ours makes. zlib only compresses the PNG rows and sums CRCs.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace picture_bytes {

inline void put_be32(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(v >> shift);
}
inline void put_le16(std::string& s, uint32_t v) {
  s += static_cast<char>(v);
  s += static_cast<char>(v >> 8);
}
inline void put_le32(std::string& s, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) s += static_cast<char>(v >> shift);
}

// ---- PNG --------------------------------------------------------------------

inline const std::string kPngSignature = std::string("\x89PNG\r\n\x1a\n", 8);

// Length, type, data and the CRC of type and data.
inline std::string png_chunk(const std::string& type, const std::string& data) {
  std::string chunk;
  put_be32(chunk, static_cast<uint32_t>(data.size()));
  const std::string body = type + data;
  chunk += body;
  put_be32(chunk, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(body.data()),
                                               static_cast<uInt>(body.size()))));
  return chunk;
}

inline std::string zlib_compressed(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 6) != Z_OK)
    throw std::runtime_error("zlib");
  out.resize(size);
  return out;
}

struct Png {
  uint32_t width = 1;
  uint32_t height = 1;
  int bit_depth = 8;
  int colour_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  // Row bytes as stored, without the filter byte (filter 0 is put in front).
  std::vector<std::string> rows;
  std::string palette;  // PLTE data, for colour type 3

  std::string ihdr() const {
    std::string data;
    put_be32(data, width);
    put_be32(data, height);
    data += static_cast<char>(bit_depth);
    data += static_cast<char>(colour_type);
    data += std::string(3, '\0');  // deflate, adaptive filtering, not interlaced
    return data;
  }
  std::string idat() const {
    std::string raw;
    for (const std::string& row : rows) raw += '\0' + row;
    return zlib_compressed(raw);
  }
  std::string bytes() const {
    std::string file = kPngSignature + png_chunk("IHDR", ihdr());
    if (!palette.empty()) file += png_chunk("PLTE", palette);
    return file + png_chunk("IDAT", idat()) + png_chunk("IEND", "");
  }
};

// An 8-bit grey PNG of the given rows, top row first.
inline Png grey_png(const std::vector<std::vector<uint8_t>>& levels) {
  Png png;
  png.height = static_cast<uint32_t>(levels.size());
  png.width = static_cast<uint32_t>(levels.front().size());
  for (const auto& row : levels) png.rows.emplace_back(row.begin(), row.end());
  return png;
}

// ---- TIFF -------------------------------------------------------------------

enum TiffType : uint16_t { kShort = 3, kLong = 4 };

struct TiffEntry {
  TiffType type = kShort;
  std::vector<uint32_t> values;
};

// A little-endian classic TIFF: the header, the IFD right after it, then
// out-of-line tag values, then the pixel data as one strip (unless the tags
// say otherwise). StripOffsets and StripByteCounts are filled in unless set.
struct Tiff {
  std::map<uint16_t, TiffEntry> tags;
  std::string pixels;
  // Forgeries: an IFD offset other than the real one, a strip offset other
  // than where the pixels are.
  int64_t ifd_offset = -1;
  int64_t strip_offset = -1;

  void set(uint16_t tag, std::vector<uint32_t> values, TiffType type = kShort) {
    tags[tag] = TiffEntry{type, std::move(values)};
  }

  std::string bytes() const {
    std::map<uint16_t, TiffEntry> all = tags;
    const std::size_t ifd_size = 2 + 12 * (all.size() + (all.count(273) ? 0 : 1) +
                                           (all.count(279) ? 0 : 1)) + 4;
    if (!all.count(279))
      all[279] = TiffEntry{kLong, {static_cast<uint32_t>(pixels.size())}};
    // Out-of-line values follow the IFD; the pixels follow them.
    std::size_t extra = 0;
    for (const auto& [tag, entry] : all) {
      const std::size_t size = entry.values.size() * (entry.type == kShort ? 2 : 4);
      if (size > 4) extra += size;
    }
    const uint32_t pixel_offset = static_cast<uint32_t>(8 + ifd_size + extra);
    if (!all.count(273))
      all[273] = TiffEntry{kLong, {strip_offset >= 0 ? static_cast<uint32_t>(strip_offset) : pixel_offset}};

    std::string file = "II*";
    file += '\0';
    put_le32(file, ifd_offset >= 0 ? static_cast<uint32_t>(ifd_offset) : 8u);
    std::string out_of_line;
    const uint32_t out_of_line_start = static_cast<uint32_t>(8 + ifd_size);
    put_le16(file, static_cast<uint32_t>(all.size()));
    for (const auto& [tag, entry] : all) {
      put_le16(file, tag);
      put_le16(file, entry.type);
      put_le32(file, static_cast<uint32_t>(entry.values.size()));
      std::string data;
      for (uint32_t v : entry.values) entry.type == kShort ? put_le16(data, v) : put_le32(data, v);
      if (data.size() <= 4) {
        data.resize(4, '\0');
        file += data;
      } else {
        put_le32(file, out_of_line_start + static_cast<uint32_t>(out_of_line.size()));
        out_of_line += data;
      }
    }
    put_le32(file, 0);  // no next IFD
    return file + out_of_line + pixels;
  }
};

// An uncompressed min-is-black TIFF of `channels` samples of `bits` bits per
// pixel, one strip; `pixels` as stored.
inline Tiff plain_tiff(uint32_t width, uint32_t height, int channels, int bits, std::string pixels) {
  Tiff tiff;
  tiff.set(256, {width}, kLong);
  tiff.set(257, {height}, kLong);
  tiff.set(258, std::vector<uint32_t>(static_cast<std::size_t>(channels), static_cast<uint32_t>(bits)));
  tiff.set(259, {1});                          // no compression
  tiff.set(262, {channels >= 3 ? 2u : 1u});    // RGB or min-is-black
  tiff.set(277, {static_cast<uint32_t>(channels)});
  tiff.set(278, {height}, kLong);              // one strip
  tiff.pixels = std::move(pixels);
  return tiff;
}

inline Tiff grey_tiff(const std::vector<std::vector<uint8_t>>& levels) {
  std::string pixels;
  for (const auto& row : levels) pixels.append(row.begin(), row.end());
  return plain_tiff(static_cast<uint32_t>(levels.front().size()), static_cast<uint32_t>(levels.size()),
                    1, 8, pixels);
}

}  // namespace picture_bytes
