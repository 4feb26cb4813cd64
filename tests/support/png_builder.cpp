#include "support/png_builder.h"

#include <zlib.h>

#include <cstring>

namespace gw::test {

void PutU32be(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t GetU32be(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

std::vector<std::uint8_t> PngChunkBytes(const std::string& type,
                                        const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    PutU32be(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    PutU32be(out, static_cast<std::uint32_t>(crc));
    return out;
}

std::vector<std::uint8_t> BuildPng(std::uint32_t width, std::uint32_t height, int bitDepth,
                                   int colorType, const std::vector<std::uint8_t>& rows,
                                   const std::vector<PngChunk>& extra) {
    static const std::uint8_t kSig[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<std::uint8_t> png(kSig, kSig + 8);
    std::vector<std::uint8_t> ihdr;
    PutU32be(ihdr, width);
    PutU32be(ihdr, height);
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(bitDepth),
                             static_cast<std::uint8_t>(colorType), 0, 0, 0});
    auto add = [&png](const std::string& t, const std::vector<std::uint8_t>& d) {
        auto c = PngChunkBytes(t, d);
        png.insert(png.end(), c.begin(), c.end());
    };
    add("IHDR", ihdr);
    for (const PngChunk& c : extra) add(c.Type, c.Data);
    std::vector<std::uint8_t> raw;
    const std::size_t rowBytes = height ? rows.size() / height : 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rows.begin() + y * rowBytes, rows.begin() + (y + 1) * rowBytes);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> z(size);
    compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    z.resize(size);
    add("IDAT", z);
    add("IEND", {});
    return png;
}

std::vector<PngChunk> ParsePngChunks(std::span<const std::uint8_t> png) {
    std::vector<PngChunk> chunks;
    if (png.size() < 8 || std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8) != 0) return chunks;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        std::uint32_t len = GetU32be(png.data() + pos);
        if (len > png.size() - pos - 12) break;
        PngChunk c;
        c.Type.assign(reinterpret_cast<const char*>(png.data() + pos + 4), 4);
        c.Data.assign(png.begin() + pos + 8, png.begin() + pos + 8 + len);
        chunks.push_back(std::move(c));
        pos += 12 + len;
    }
    return chunks;
}

const PngChunk* FindPngChunk(const std::vector<PngChunk>& chunks, const std::string& type) {
    for (const PngChunk& c : chunks)
        if (c.Type == type) return &c;
    return nullptr;
}

}  // namespace gw::test
