#include "support/metafile_builder.h"

#include <cstring>

#include "support/picture_bytes.h"

namespace gw::test {

std::uint32_t ColorRef(Rgb c) {
    return c.r | (c.g << 8) | (std::uint32_t{c.b} << 16);
}

std::vector<std::uint8_t> PackedDib(int width, int height, const std::vector<Rgb>& pixels, int bits,
                                    const std::vector<std::uint8_t>& alpha) {
    Bytes b;
    const int rowBytes = (width * (bits / 8) + 3) / 4 * 4;
    b.u32le(40).u32le(width).u32le(height).u16le(1).u16le(bits).u32le(0);
    b.u32le(rowBytes * height).u32le(3780).u32le(3780).u32le(0).u32le(0);
    for (int y = height - 1; y >= 0; --y) {
        std::size_t start = b.size();
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            b.u8(pixels[i].b).u8(pixels[i].g).u8(pixels[i].r);
            if (bits == 32) b.u8(alpha.empty() ? 0 : alpha[i]);
        }
        while (b.size() - start < static_cast<std::size_t>(rowBytes)) b.u8(0);
    }
    return b.v;
}

// ---- Windows metafiles ----

WmfBuilder& WmfBuilder::Words(std::uint16_t function, std::initializer_list<int> words) {
    Bytes p;
    for (int w : words) p.u16le(static_cast<unsigned>(w) & 0xffff);
    return Raw(function, p.v);
}

WmfBuilder& WmfBuilder::Raw(std::uint16_t function, const std::vector<std::uint8_t>& params) {
    std::vector<std::uint8_t> padded = params;
    if (padded.size() % 2) padded.push_back(0);
    return SizedRaw(static_cast<std::uint32_t>(3 + padded.size() / 2), function, padded);
}

WmfBuilder& WmfBuilder::SizedRaw(std::uint32_t words, std::uint16_t function,
                                 const std::vector<std::uint8_t>& params) {
    Bytes b;
    b.u32le(words).u16le(function).raw(params);
    records_.insert(records_.end(), b.v.begin(), b.v.end());
    return *this;
}

WmfBuilder& WmfBuilder::Pen(int style, int width, Rgb color) {
    Bytes p;
    p.u16le(style).u16le(width).u16le(0).u32le(ColorRef(color));
    return Raw(0x02FA, p.v);
}

WmfBuilder& WmfBuilder::Brush(int style, Rgb color, int hatch) {
    Bytes p;
    p.u16le(style).u32le(ColorRef(color)).u16le(hatch);
    return Raw(0x02FC, p.v);
}

namespace {
void PutPoints(Bytes& p, const std::vector<std::pair<int, int>>& pts) {
    for (const auto& [x, y] : pts) p.u16le(x & 0xffff).u16le(y & 0xffff);
}
}  // namespace

WmfBuilder& WmfBuilder::Polygon(const std::vector<std::pair<int, int>>& pts) {
    Bytes p;
    p.u16le(static_cast<unsigned>(pts.size()));
    PutPoints(p, pts);
    return Raw(0x0324, p.v);
}

WmfBuilder& WmfBuilder::Polyline(const std::vector<std::pair<int, int>>& pts) {
    Bytes p;
    p.u16le(static_cast<unsigned>(pts.size()));
    PutPoints(p, pts);
    return Raw(0x0325, p.v);
}

WmfBuilder& WmfBuilder::PolyPolygon(const std::vector<std::vector<std::pair<int, int>>>& polys) {
    Bytes p;
    p.u16le(static_cast<unsigned>(polys.size()));
    for (const auto& poly : polys) p.u16le(static_cast<unsigned>(poly.size()));
    for (const auto& poly : polys) PutPoints(p, poly);
    return Raw(0x0538, p.v);
}

WmfBuilder& WmfBuilder::StretchDib(const std::vector<std::uint8_t>& dib, int srcX, int srcY,
                                   int srcW, int srcH, int x, int y, int w, int h) {
    Bytes p;
    p.u32le(0x00CC0020).u16le(0);
    for (int v : {srcH, srcW, srcY, srcX, h, w, y, x}) p.u16le(v & 0xffff);
    p.raw(dib);
    return Raw(0x0F43, p.v);
}

WmfBuilder& WmfBuilder::PatternBlt(std::uint32_t rop, int x, int y, int w, int h) {
    Bytes p;
    p.u32le(rop);
    for (int v : {0, 0, 0, 0, 0, h, w, y, x}) p.u16le(v & 0xffff);
    return Raw(0x0B41, p.v);
}

std::vector<std::uint8_t> WmfBuilder::Build(int objects) const {
    Bytes b;
    const std::uint32_t words = static_cast<std::uint32_t>(9 + records_.size() / 2 + 3);
    b.u16le(1).u16le(9).u16le(0x300).u32le(words).u16le(objects).u32le(0).u16le(0);
    b.raw(records_);
    b.u32le(3).u16le(0);
    return b.v;
}

std::vector<std::uint8_t> WmfBuilder::BuildPlaceable(int left, int top, int right, int bottom,
                                                     int inch, int objects) const {
    Bytes b;
    b.u32le(0x9AC6CDD7).u16le(0);
    for (int v : {left, top, right, bottom}) b.u16le(v & 0xffff);
    b.u16le(inch).u32le(0);
    unsigned sum = 0;
    for (std::size_t i = 0; i < b.size(); i += 2) sum ^= b.v[i] | (b.v[i + 1] << 8);
    b.u16le(sum);
    b.raw(Build(objects));
    return b.v;
}

// ---- Enhanced metafiles ----

EmfBuilder& EmfBuilder::Longs(std::uint32_t type, std::initializer_list<std::int64_t> values) {
    Bytes p;
    for (std::int64_t v : values) p.u32le(static_cast<std::uint32_t>(v));
    return Raw(type, p.v);
}

EmfBuilder& EmfBuilder::Raw(std::uint32_t type, const std::vector<std::uint8_t>& params) {
    std::vector<std::uint8_t> padded = params;
    while (padded.size() % 4) padded.push_back(0);
    return SizedRaw(type, static_cast<std::uint32_t>(8 + padded.size()), padded);
}

EmfBuilder& EmfBuilder::SizedRaw(std::uint32_t type, std::uint32_t size,
                                 const std::vector<std::uint8_t>& params) {
    Bytes b;
    b.u32le(type).u32le(size).raw(params);
    records_.insert(records_.end(), b.v.begin(), b.v.end());
    return *this;
}

namespace {
void PutFloats(Bytes& p, const std::vector<float>& m) {
    for (float f : m) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        p.u32le(bits);
    }
}
}  // namespace

EmfBuilder& EmfBuilder::SetWorldTransform(const std::vector<float>& m) {
    Bytes p;
    PutFloats(p, m);
    return Raw(35, p.v);
}

EmfBuilder& EmfBuilder::ModifyWorldTransform(const std::vector<float>& m, int mode) {
    Bytes p;
    PutFloats(p, m);
    p.u32le(mode);
    return Raw(36, p.v);
}

EmfBuilder& EmfBuilder::Poly(std::uint32_t type, const std::vector<std::pair<int, int>>& pts) {
    const bool small = type >= 85;
    Bytes p;
    p.u32le(0).u32le(0).u32le(0).u32le(0).u32le(static_cast<std::uint32_t>(pts.size()));
    for (const auto& [x, y] : pts) {
        if (small)
            p.u16le(x & 0xffff).u16le(y & 0xffff);
        else
            p.u32le(static_cast<std::uint32_t>(x)).u32le(static_cast<std::uint32_t>(y));
    }
    return Raw(type, p.v);
}

EmfBuilder& EmfBuilder::PolyPoly(std::uint32_t type,
                                 const std::vector<std::vector<std::pair<int, int>>>& polys) {
    const bool small = type >= 85;
    Bytes p;
    std::uint32_t total = 0;
    for (const auto& poly : polys) total += static_cast<std::uint32_t>(poly.size());
    p.u32le(0).u32le(0).u32le(0).u32le(0).u32le(static_cast<std::uint32_t>(polys.size()));
    p.u32le(total);
    for (const auto& poly : polys) p.u32le(static_cast<std::uint32_t>(poly.size()));
    for (const auto& poly : polys)
        for (const auto& [x, y] : poly) {
            if (small)
                p.u16le(x & 0xffff).u16le(y & 0xffff);
            else
                p.u32le(static_cast<std::uint32_t>(x)).u32le(static_cast<std::uint32_t>(y));
        }
    return Raw(type, p.v);
}

EmfBuilder& EmfBuilder::StretchDiBits(const std::vector<std::uint8_t>& dib, int srcX, int srcY,
                                      int srcW, int srcH, int x, int y, int w, int h) {
    const std::uint32_t fixed = 80, header = 40;
    Bytes p;
    p.u32le(0).u32le(0).u32le(0).u32le(0);
    for (int v : {x, y, srcX, srcY, srcW, srcH}) p.u32le(static_cast<std::uint32_t>(v));
    p.u32le(fixed)
        .u32le(header)
        .u32le(fixed + header)
        .u32le(static_cast<std::uint32_t>(dib.size() - header));
    p.u32le(0)
        .u32le(0x00CC0020)
        .u32le(static_cast<std::uint32_t>(w))
        .u32le(static_cast<std::uint32_t>(h));
    p.raw(dib);
    return Raw(81, p.v);
}

std::vector<std::uint8_t> EmfBuilder::Build(int frameRight, int frameBottom, int deviceW,
                                            int deviceH, int mmW, int mmH, int handles) const {
    Bytes b;
    const std::uint32_t headerSize = 88;
    const std::uint32_t total = static_cast<std::uint32_t>(headerSize + records_.size() + 20);
    b.u32le(1).u32le(headerSize);
    b.u32le(0).u32le(0).u32le(0).u32le(0);  // bounds
    b.u32le(0).u32le(0).u32le(frameRight).u32le(frameBottom);
    b.u32le(0x464D4520).u32le(0x10000).u32le(total).u32le(0).u16le(handles).u16le(0);
    b.u32le(0).u32le(0).u32le(0);
    b.u32le(deviceW).u32le(deviceH).u32le(mmW).u32le(mmH);
    b.raw(records_);
    b.u32le(14).u32le(20).u32le(0).u32le(0).u32le(20);
    return b.v;
}

}  // namespace gw::test
