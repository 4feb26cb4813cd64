#include "imagefile/ops/quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace gw {
namespace {

// Packed 0xRRGGBB.
using Packed = std::uint32_t;

Packed Pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (static_cast<Packed>(r) << 16) | (static_cast<Packed>(g) << 8) | b;
}
Rgb Unpack(Packed c) {
    return {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
            static_cast<std::uint8_t>(c)};
}

// Reads the pixels of an ie24RGB image in row order from the top, without padding.
class PixelSource {
  public:
    explicit PixelSource(const RasterImage& rgb) : image_(rgb) {}
    std::size_t Count() const {
        return static_cast<std::size_t>(image_.Width()) * static_cast<std::size_t>(image_.Height());
    }
    Packed At(std::size_t index) const {
        std::size_t w = static_cast<std::size_t>(image_.Width());
        const std::uint8_t* p = image_.Row(static_cast<int>(index / w)) + 3 * (index % w);
        return Pack(p[2], p[1], p[0]);
    }
    template <typename F>
    void ForEach(F&& f) const {
        for (int y = 0; y < image_.Height(); ++y) {
            const std::uint8_t* p = image_.Row(y);
            for (int x = 0; x < image_.Width(); ++x, p += 3) f(Pack(p[2], p[1], p[0]));
        }
    }

  private:
    const RasterImage& image_;
};

// A small open-addressing set of at most 256 colours with their first-appearance index.
class ColorTable {
  public:
    ColorTable() { keys_.fill(0); }
    // Index of the colour, adding it when new; -1 when the table is already full.
    int Find(Packed c, int capacity) {
        Packed key = c | 0x1000000u;
        std::size_t slot = (key * 2654435761u) >> 22 & (kSlots - 1);
        while (keys_[slot] != 0) {
            if (keys_[slot] == key) return values_[slot];
            slot = (slot + 1) & (kSlots - 1);
        }
        if (count_ >= capacity) return -1;
        keys_[slot] = key;
        values_[slot] = static_cast<std::uint8_t>(count_);
        return count_++;
    }

  private:
    static constexpr std::size_t kSlots = 1024;
    std::array<Packed, kSlots> keys_;
    std::array<std::uint8_t, kSlots> values_{};
    int count_ = 0;
};

// The distinct colours in order of first appearance, when there are no more than maxColors.
bool FirstAppearancePalette(const PixelSource& src, int maxColors, ReducedImage& out) {
    ColorTable table;
    out.Indices.resize(src.Count());
    std::size_t i = 0;
    bool fits = true;
    Packed last = 0xffffffffu;
    int lastIndex = 0;
    src.ForEach([&](Packed c) {
        if (!fits) return;
        if (c != last) {
            int index = table.Find(c, maxColors);
            if (index < 0) {
                fits = false;
                return;
            }
            if (index == static_cast<int>(out.Palette.size())) out.Palette.push_back(Unpack(c));
            last = c;
            lastIndex = index;
        }
        out.Indices[i++] = static_cast<std::uint8_t>(lastIndex);
    });
    if (!fits) {
        out.Palette.clear();
        out.Indices.clear();
    }
    return fits;
}

int Manhattan(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// Nearest-colour lookup over a palette sorted by green: the search walks outwards from the
// closest green value and stops once the green difference alone exceeds the best distance.
class NearestColor {
  public:
    explicit NearestColor(const std::vector<Rgb>& palette) {
        for (std::size_t i = 0; i < palette.size(); ++i)
            sorted_.push_back({palette[i], static_cast<std::uint8_t>(i)});
        std::sort(sorted_.begin(), sorted_.end(),
                  [](const Entry& a, const Entry& b) { return a.color.g < b.color.g; });
        std::size_t j = 0;
        for (int g = 0; g < 256; ++g) {
            while (j < sorted_.size() && sorted_[j].color.g < g) ++j;
            start_[static_cast<std::size_t>(g)] = std::min(j, sorted_.size() - 1);
        }
    }
    std::uint8_t Find(Rgb c) const {
        std::size_t s = start_[c.g];
        int best = 1 << 30;
        std::uint8_t bestIndex = sorted_[s].index;
        for (std::size_t up = s; up < sorted_.size(); ++up) {
            const Entry& e = sorted_[up];
            if (e.color.g - c.g >= best) break;
            int d = Manhattan(e.color, c);
            if (d < best) best = d, bestIndex = e.index;
        }
        for (std::size_t down = s; down-- > 0;) {
            const Entry& e = sorted_[down];
            if (c.g - e.color.g >= best) break;
            int d = Manhattan(e.color, c);
            if (d < best) best = d, bestIndex = e.index;
        }
        return bestIndex;
    }

  private:
    struct Entry {
        Rgb color;
        std::uint8_t index;
    };
    std::vector<Entry> sorted_;
    std::array<std::size_t, 256> start_{};
};

// Kohonen self-organising network over colour space (Dekker's NeuQuant): neurons start on the
// grey diagonal, the winner of a biased contest and its index neighbours move towards each
// sampled pixel, with learning rate and neighbourhood shrinking over a fixed number of cycles.
std::vector<Rgb> NeuQuantPalette(const PixelSource& src, int netSize) {
    constexpr int kCycles = 100;
    constexpr double kBeta = 1.0 / 1024;
    constexpr double kGamma = 1024;
    constexpr double kRadiusDecrease = 30;
    constexpr std::array<std::size_t, 4> kPrimes{499, 491, 487, 503};
    constexpr std::size_t kMinSamples = std::size_t{1} << 16;
    constexpr std::size_t kMaxSamples = std::size_t{1} << 18;

    struct Neuron {
        double r, g, b;
    };
    const std::size_t n = static_cast<std::size_t>(netSize);
    std::vector<Neuron> net(n);
    std::vector<double> freq(n, 1.0 / netSize), bias(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        double v = 256.0 * static_cast<double>(i) / netSize;
        net[i] = {v, v, v};
    }

    const std::size_t count = src.Count();
    // Small pictures are passed over several times so that the network settles; large ones
    // are sampled, about 2^18 training steps being plenty.
    const std::size_t samples = std::clamp<std::size_t>(count, kMinSamples, kMaxSamples);
    const double alphaDecrease = 30;
    const std::size_t delta = std::max<std::size_t>(1, samples / kCycles);

    std::size_t step = 1;
    if (count >= 4 * kPrimes.back()) {
        for (std::size_t p : kPrimes)
            if (count % p != 0) {
                step = p;
                break;
            }
    }

    double alpha = 1.0;
    double radius = netSize / 8.0;
    std::vector<double> radPower(n + 1);
    int rad = 0;
    auto updateRadius = [&] {
        rad = static_cast<int>(radius);
        if (rad <= 1) rad = 0;
        for (int m = 0; m < rad; ++m)
            radPower[static_cast<std::size_t>(m)] =
                alpha * static_cast<double>(rad * rad - m * m) / (rad * rad);
    };
    updateRadius();

    std::size_t pos = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const Packed c = src.At(pos);
        const double r = c >> 16, g = (c >> 8) & 0xff, b = c & 0xff;

        // Contest: the plain nearest neuron learns its frequency, the biased winner moves.
        double bestDist = 1e30, bestBiasDist = 1e30;
        std::size_t best = 0, bestBiased = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const Neuron& u = net[k];
            double dist = std::fabs(u.r - r) + std::fabs(u.g - g) + std::fabs(u.b - b);
            if (dist < bestDist) bestDist = dist, best = k;
            double biasDist = dist - bias[k];
            if (biasDist < bestBiasDist) bestBiasDist = biasDist, bestBiased = k;
            double betaFreq = kBeta * freq[k];
            freq[k] -= betaFreq;
            bias[k] += kGamma * betaFreq;
        }
        freq[best] += kBeta;
        bias[best] -= kGamma * kBeta;

        auto move = [&](std::size_t k, double a) {
            Neuron& u = net[k];
            u.r -= a * (u.r - r);
            u.g -= a * (u.g - g);
            u.b -= a * (u.b - b);
        };
        move(bestBiased, alpha);
        for (int m = 1; m < rad; ++m) {
            double a = radPower[static_cast<std::size_t>(m)];
            if (bestBiased >= static_cast<std::size_t>(m)) move(bestBiased - m, a);
            if (bestBiased + m < n) move(bestBiased + m, a);
        }

        pos += step;
        if (pos >= count) pos -= count;
        if ((i + 1) % delta == 0) {
            alpha -= alpha / alphaDecrease;
            radius -= radius / kRadiusDecrease;
            updateRadius();
        }
    }

    std::vector<Rgb> palette(n);
    auto toByte = [](double v) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    for (std::size_t i = 0; i < n; ++i)
        palette[i] = {toByte(net[i].r), toByte(net[i].g), toByte(net[i].b)};
    return palette;
}

// Heckbert's median cut over a histogram of 5 bits per channel: the box with the largest
// population times its longest side is split at the median of that side, until there are
// enough boxes or none can be split; each box contributes its population-weighted mean.
void MedianCut(const PixelSource& src, int maxColors, ReducedImage& out) {
    constexpr int kSide = 32;
    std::vector<std::uint32_t> hist(kSide * kSide * kSide, 0);
    auto bin = [](int r, int g, int b) { return (r * kSide + g) * kSide + b; };
    src.ForEach([&](Packed c) {
        std::uint32_t& h = hist[static_cast<std::size_t>(bin(static_cast<int>(c >> 19),
                                                             static_cast<int>((c >> 11) & 31),
                                                             static_cast<int>((c >> 3) & 31)))];
        if (h != 0xffffffffu) ++h;
    });

    struct Box {
        std::array<int, 3> lo, hi;  // inclusive bounds per channel (r, g, b)
        std::uint64_t population = 0;
    };
    auto count = [&](int r, int g, int b) { return hist[static_cast<std::size_t>(bin(r, g, b))]; };
    // Tightens a box to its occupied bins and counts its pixels.
    auto shrink = [&](Box& box) {
        std::array<int, 3> lo{kSide, kSide, kSide}, hi{-1, -1, -1};
        box.population = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    std::uint32_t h = count(r, g, b);
                    if (h == 0) continue;
                    box.population += h;
                    const int v[3] = {r, g, b};
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min(lo[c], v[c]);
                        hi[c] = std::max(hi[c], v[c]);
                    }
                }
        if (box.population) box.lo = lo, box.hi = hi;
    };

    std::vector<Box> boxes;
    boxes.push_back({{0, 0, 0}, {kSide - 1, kSide - 1, kSide - 1}});
    shrink(boxes[0]);
    while (static_cast<int>(boxes.size()) < maxColors) {
        int chosen = -1, axis = 0;
        std::uint64_t bestScore = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const Box& box = boxes[i];
            int longest = 0;
            for (int c = 1; c < 3; ++c)
                if (box.hi[c] - box.lo[c] > box.hi[longest] - box.lo[longest]) longest = c;
            std::uint64_t side = static_cast<std::uint64_t>(box.hi[longest] - box.lo[longest]);
            std::uint64_t score = box.population * side;
            if (side > 0 && score > bestScore)
                bestScore = score, chosen = static_cast<int>(i), axis = longest;
        }
        if (chosen < 0) break;
        Box box = boxes[static_cast<std::size_t>(chosen)];

        // Population per slice along the axis, then the slice where half is reached.
        std::array<std::uint64_t, kSide> slice{};
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    const int v[3] = {r, g, b};
                    slice[static_cast<std::size_t>(v[axis])] += count(r, g, b);
                }
        std::uint64_t acc = 0;
        int cut = box.lo[axis];
        for (int s = box.lo[axis]; s < box.hi[axis]; ++s) {
            acc += slice[static_cast<std::size_t>(s)];
            cut = s;
            if (acc * 2 >= box.population) break;
        }
        Box low = box, high = box;
        low.hi[axis] = cut;
        high.lo[axis] = cut + 1;
        shrink(low);
        shrink(high);
        boxes[static_cast<std::size_t>(chosen)] = low;
        if (high.population) boxes.push_back(high);
    }

    std::vector<Rgb>& palette = out.Palette;
    for (const Box& box : boxes) {
        if (!box.population) continue;
        double sum[3] = {0, 0, 0};
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                    double h = count(r, g, b);
                    sum[0] += h * r;
                    sum[1] += h * g;
                    sum[2] += h * b;
                }
        auto scale = [&](double s) {
            double mean = s / static_cast<double>(box.population);
            return static_cast<std::uint8_t>(std::lround(mean * 255.0 / (kSide - 1)));
        };
        palette.push_back({scale(sum[0]), scale(sum[1]), scale(sum[2])});
    }

    // Every occupied bin takes the palette colour nearest to its centre.
    NearestColor nearest(palette);
    std::vector<std::uint8_t> binIndex(hist.size(), 0);
    for (int r = 0; r < kSide; ++r)
        for (int g = 0; g < kSide; ++g)
            for (int b = 0; b < kSide; ++b) {
                std::size_t k = static_cast<std::size_t>(bin(r, g, b));
                if (!hist[k]) continue;
                auto centre = [](int v) { return static_cast<std::uint8_t>(v * 8 + 4); };
                binIndex[k] = nearest.Find({centre(r), centre(g), centre(b)});
            }
    out.Indices.resize(src.Count());
    std::size_t i = 0;
    src.ForEach([&](Packed c) {
        out.Indices[i++] = binIndex[static_cast<std::size_t>(bin(static_cast<int>(c >> 19),
                                                                 static_cast<int>((c >> 11) & 31),
                                                                 static_cast<int>((c >> 3) & 31)))];
    });
}

void MapToPalette(const PixelSource& src, ReducedImage& out) {
    NearestColor nearest(out.Palette);
    out.Indices.resize(src.Count());
    std::size_t i = 0;
    Packed last = 0xffffffffu;
    std::uint8_t lastIndex = 0;
    src.ForEach([&](Packed c) {
        if (c != last) {
            lastIndex = nearest.Find(Unpack(c));
            last = c;
        }
        out.Indices[i++] = lastIndex;
    });
}

}  // namespace

ReducedImage ReduceColors(const RasterImage& image, int maxColors) {
    ReducedImage out;
    if (image.Empty()) return out;
    maxColors = std::clamp(maxColors, 2, 256);
    RasterImage converted;
    if (image.Format() != PixelFormat::ie24RGB) converted = image.ToRgb24();
    const RasterImage& rgb = image.Format() == PixelFormat::ie24RGB ? image : converted;
    if (rgb.Empty()) return out;
    PixelSource src(rgb);

    if (FirstAppearancePalette(src, maxColors, out)) return out;
    if (maxColors <= 16) {
        MedianCut(src, maxColors, out);
    } else {
        out.Palette = NeuQuantPalette(src, maxColors);
        MapToPalette(src, out);
    }
    return out;
}

}  // namespace gw
