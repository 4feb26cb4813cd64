#pragma once
// Builds small Windows and enhanced metafiles record by record for the reader tests.

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "imagefile/raster.h"

namespace gw::test {

// A COLORREF: red in the low byte.
std::uint32_t ColorRef(Rgb c);

// A packed bottom-up device-independent bitmap: 40-byte header and rows (pixels given from
// the top). bits is 24 or 32; 32-bit pixels take alpha from the list when given.
std::vector<std::uint8_t> PackedDib(int width, int height, const std::vector<Rgb>& pixels,
                                    int bits = 24, const std::vector<std::uint8_t>& alpha = {});

class WmfBuilder {
  public:
    // A record from 16-bit parameter words.
    WmfBuilder& Words(std::uint16_t function, std::initializer_list<int> words);
    // A record from raw parameter bytes.
    WmfBuilder& Raw(std::uint16_t function, const std::vector<std::uint8_t>& params);
    // A record whose size field says words, whatever follows.
    WmfBuilder& SizedRaw(std::uint32_t words, std::uint16_t function,
                         const std::vector<std::uint8_t>& params);

    WmfBuilder& SetWindowOrg(int x, int y) { return Words(0x020B, {y, x}); }
    WmfBuilder& SetWindowExt(int x, int y) { return Words(0x020C, {y, x}); }
    WmfBuilder& SetViewportOrg(int x, int y) { return Words(0x020D, {y, x}); }
    WmfBuilder& SetViewportExt(int x, int y) { return Words(0x020E, {y, x}); }
    WmfBuilder& SetMapMode(int mode) { return Words(0x0103, {mode}); }
    WmfBuilder& SetPolyFillMode(int mode) { return Words(0x0106, {mode}); }
    WmfBuilder& SaveDc() { return Words(0x001E, {}); }
    WmfBuilder& RestoreDc(int which) { return Words(0x0127, {which}); }
    WmfBuilder& Pen(int style, int width, Rgb color);
    WmfBuilder& Brush(int style, Rgb color, int hatch = 0);
    WmfBuilder& Select(int index) { return Words(0x012D, {index}); }
    WmfBuilder& Delete(int index) { return Words(0x01F0, {index}); }
    WmfBuilder& MoveTo(int x, int y) { return Words(0x0214, {y, x}); }
    WmfBuilder& LineTo(int x, int y) { return Words(0x0213, {y, x}); }
    WmfBuilder& Rectangle(int l, int t, int r, int b) { return Words(0x041B, {b, r, t, l}); }
    WmfBuilder& Ellipse(int l, int t, int r, int b) { return Words(0x0418, {b, r, t, l}); }
    WmfBuilder& RoundRect(int l, int t, int r, int b, int w, int h) {
        return Words(0x061C, {h, w, b, r, t, l});
    }
    WmfBuilder& Polygon(const std::vector<std::pair<int, int>>& pts);
    WmfBuilder& Polyline(const std::vector<std::pair<int, int>>& pts);
    WmfBuilder& PolyPolygon(const std::vector<std::vector<std::pair<int, int>>>& polys);
    // META_STRETCHDIB of a packed bitmap.
    WmfBuilder& StretchDib(const std::vector<std::uint8_t>& dib, int srcX, int srcY, int srcW,
                           int srcH, int x, int y, int w, int h);
    // META_DIBSTRETCHBLT without a bitmap (a pattern operation on the destination).
    WmfBuilder& PatternBlt(std::uint32_t rop, int x, int y, int w, int h);

    // The whole file: an optional placeable header (bounding box, units per inch), the
    // metafile header with the object count, the records and the end record.
    std::vector<std::uint8_t> Build(int objects = 8) const;
    std::vector<std::uint8_t> BuildPlaceable(int left, int top, int right, int bottom, int inch,
                                             int objects = 8) const;

  private:
    std::vector<std::uint8_t> records_;
};

class EmfBuilder {
  public:
    // A record from 32-bit parameter values.
    EmfBuilder& Longs(std::uint32_t type, std::initializer_list<std::int64_t> values);
    // A record from raw parameter bytes (padded to four bytes).
    EmfBuilder& Raw(std::uint32_t type, const std::vector<std::uint8_t>& params);
    // A record whose size field says size, whatever follows.
    EmfBuilder& SizedRaw(std::uint32_t type, std::uint32_t size,
                         const std::vector<std::uint8_t>& params);

    EmfBuilder& SetMapMode(int mode) { return Longs(17, {mode}); }
    EmfBuilder& SetWindowExt(int x, int y) { return Longs(9, {x, y}); }
    EmfBuilder& SetWindowOrg(int x, int y) { return Longs(10, {x, y}); }
    EmfBuilder& SetViewportExt(int x, int y) { return Longs(11, {x, y}); }
    EmfBuilder& SetViewportOrg(int x, int y) { return Longs(12, {x, y}); }
    EmfBuilder& SetPolyFillMode(int mode) { return Longs(19, {mode}); }
    EmfBuilder& Pen(int index, int style, int width, Rgb color) {
        return Longs(38, {index, style, width, 0, ColorRef(color)});
    }
    EmfBuilder& Brush(int index, int style, Rgb color) {
        return Longs(39, {index, style, ColorRef(color), 0});
    }
    EmfBuilder& Select(std::uint32_t index) { return Longs(37, {index}); }
    EmfBuilder& Rectangle(int l, int t, int r, int b) { return Longs(43, {l, t, r, b}); }
    EmfBuilder& Ellipse(int l, int t, int r, int b) { return Longs(42, {l, t, r, b}); }
    EmfBuilder& MoveTo(int x, int y) { return Longs(27, {x, y}); }
    EmfBuilder& LineTo(int x, int y) { return Longs(54, {x, y}); }
    EmfBuilder& SaveDc() { return Longs(33, {}); }
    EmfBuilder& RestoreDc(int which) { return Longs(34, {which}); }
    // World transform: m11, m12, m21, m22, dx, dy.
    EmfBuilder& SetWorldTransform(const std::vector<float>& m);
    EmfBuilder& ModifyWorldTransform(const std::vector<float>& m, int mode);
    // Polygon-style records (2..6 and 85..89); 16-bit types write short points.
    EmfBuilder& Poly(std::uint32_t type, const std::vector<std::pair<int, int>>& pts);
    EmfBuilder& PolyPoly(std::uint32_t type,
                         const std::vector<std::vector<std::pair<int, int>>>& polys);
    EmfBuilder& StretchDiBits(const std::vector<std::uint8_t>& dib, int srcX, int srcY, int srcW,
                              int srcH, int x, int y, int w, int h);

    // Header (bounds in device pixels, frame in 0.01 mm, reference device size in pixels and
    // millimetres), records and the end record.
    std::vector<std::uint8_t> Build(int frameRight, int frameBottom, int deviceW = 960,
                                    int deviceH = 960, int mmW = 254, int mmH = 254,
                                    int handles = 8) const;

  private:
    std::vector<std::uint8_t> records_;
};

}  // namespace gw::test
