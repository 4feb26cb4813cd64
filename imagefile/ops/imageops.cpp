#include "imagefile/ops/imageops.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace gw {
namespace {

constexpr ColorValue Explicit(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

// The standard scheme's system colours by index.
constexpr std::array<ColorValue, 31> kSystemColors = {
    Explicit(200, 200, 200),  // scroll bar
    Explicit(0, 0, 0),        // desktop
    Explicit(153, 180, 209),  // active caption
    Explicit(191, 205, 219),  // inactive caption
    Explicit(240, 240, 240),  // menu
    Explicit(255, 255, 255),  // window
    Explicit(100, 100, 100),  // window frame
    Explicit(0, 0, 0),        // menu text
    Explicit(0, 0, 0),        // window text
    Explicit(0, 0, 0),        // caption text
    Explicit(180, 180, 180),  // active border
    Explicit(244, 247, 252),  // inactive border
    Explicit(171, 171, 171),  // application workspace
    Explicit(0, 120, 215),    // highlight
    Explicit(255, 255, 255),  // highlight text
    Explicit(240, 240, 240),  // button face
    Explicit(160, 160, 160),  // button shadow
    Explicit(109, 109, 109),  // grey text
    Explicit(0, 0, 0),        // button text
    Explicit(0, 0, 0),        // inactive caption text
    Explicit(255, 255, 255),  // button highlight
    Explicit(105, 105, 105),  // 3-D dark shadow
    Explicit(227, 227, 227),  // 3-D light
    Explicit(0, 0, 0),        // tooltip text
    Explicit(255, 255, 225),  // tooltip background
    Explicit(0, 0, 0),        // (unused)
    Explicit(0, 102, 204),    // hot-tracked item
    Explicit(185, 209, 234),  // active caption gradient
    Explicit(215, 228, 242),  // inactive caption gradient
    Explicit(0, 120, 215),    // menu highlight
    Explicit(240, 240, 240),  // menu bar
};

std::size_t PixelCount(const RasterImage& image) {
    return static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height());
}

bool InRange(Rgb c, Rgb lo, Rgb hi) {
    return lo.r <= c.r && c.r <= hi.r && lo.g <= c.g && c.g <= hi.g && lo.b <= c.b && c.b <= hi.b;
}

}  // namespace

ColorValue DefaultSystemColor(int index) {
    if (index < 0 || index >= static_cast<int>(kSystemColors.size())) return 0;
    return kSystemColors[static_cast<std::size_t>(index)];
}

Rgb ColorToTriple(ColorValue color, const SystemColorResolver& resolver) {
    if (color < 0) {
        const int index = color & 0xFF;
        color = resolver ? resolver(index) : DefaultSystemColor(index);
    }
    const auto v = static_cast<std::uint32_t>(color);
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF),
            static_cast<std::uint8_t>((v >> 16) & 0xFF)};
}

Rgb ReadPixelColor(const RasterImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) return {};
    return image.PixelRgb(x, y);
}

bool HasSelection(const ImageHolder& holder) {
    const std::vector<std::uint8_t>& sel = holder.Selection;
    return !holder.Image.Empty() && sel.size() == PixelCount(holder.Image) &&
           std::any_of(sel.begin(), sel.end(), [](std::uint8_t v) { return v != 0; });
}

void MakeColorTransparent(ImageHolder& holder, Rgb lo, Rgb hi, std::uint8_t alpha) {
    RasterImage& image = holder.Image;
    if (image.Empty()) return;
    image.AddAlpha(255);
    const bool selected = HasSelection(holder);
    const int w = image.Width();
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.Row(y);
        std::uint8_t* a = image.AlphaRow(y);
        const std::uint8_t* sel =
            selected ? holder.Selection.data() + static_cast<std::size_t>(y) * w : nullptr;
        for (int x = 0; x < w; ++x) {
            if (sel && !sel[x]) continue;
            bool match = false;
            switch (image.Format()) {
                case PixelFormat::ie24RGB: {
                    const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
                    match = InRange({p[2], p[1], p[0]}, lo, hi);
                    break;
                }
                case PixelFormat::ie1g: {
                    const bool white = (row[x >> 3] >> (7 - (x & 7))) & 1;
                    match = lo.r == 0 ? !white : white;
                    break;
                }
                default:
                    break;
            }
            if (match) a[x] = alpha;
        }
    }
}

void SelectColor(ImageHolder& holder, Rgb t) {
    ClearSelection(holder);
    const RasterImage& image = holder.Image;
    if (image.Empty()) return;
    std::vector<std::uint8_t> sel(PixelCount(image), 0);
    bool any = false;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (image.PixelRgb(x, y) == t) {
                sel[static_cast<std::size_t>(y) * image.Width() + x] = 1;
                any = true;
            }
    if (any) holder.Selection = std::move(sel);
}

void FillSelection(ImageHolder& holder, Rgb t) {
    RasterImage& image = holder.Image;
    if (image.Format() != PixelFormat::ie24RGB || !HasSelection(holder)) return;
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* sel =
            holder.Selection.data() + static_cast<std::size_t>(y) * image.Width();
        for (int x = 0; x < image.Width(); ++x)
            if (sel[x]) image.SetPixelRgb(x, y, t);
    }
}

void ClearSelection(ImageHolder& holder) {
    holder.Selection.clear();
    holder.Selection.shrink_to_fit();
}

bool HasAlpha(const ImageHolder& holder) {
    return holder.Image.HasAlpha();
}

void Assign(ImageHolder& target, const ImageHolder& source) {
    if (&target == &source) return;
    target.Image = source.Image;
    target.Background = source.Background;
    target.Params.HorizontalDpi = source.Params.HorizontalDpi;
    target.Params.VerticalDpi = source.Params.VerticalDpi;
    ClearSelection(target);
}

void BlankView(ImageHolder& holder) {
    ClearSelection(holder);
    if (holder.Image.Allocate(1, 1, PixelFormat::ie24RGB))
        holder.Image.SetPixelRgb(0, 0, holder.Background);
}

void MakeBackgroundTransparent(ImageHolder& holder, Rgb fill) {
    if (holder.Image.Empty()) return;
    const Rgb c = ReadPixelColor(holder.Image, 0, holder.Image.Height() - 1);
    MakeColorTransparent(holder, c, c, 0);
    SelectColor(holder, c);
    FillSelection(holder, fill);
    ClearSelection(holder);
}

void MakeBackgroundTransparent(ImageHolder& holder, ColorValue fill,
                               const SystemColorResolver& resolver) {
    MakeBackgroundTransparent(holder, ColorToTriple(fill, resolver));
}

}  // namespace gw
