#include "imagefile/ops/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <system_error>
#include <thread>
#include <vector>

#include "imagefile/limits.h"

// The hot loops run over fixed lane counts, so the compiler turns them into whole vector
// operations; on x86-64 they are also built for AVX2 and picked at load time.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define GW_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef GW_VECTOR_CLONES
#define GW_VECTOR_CLONES
#endif

namespace gw {
namespace {

// Horizontal pass: one step handles 96 samples of one column, 32 RGB rows or 96 alpha rows
// (a multiple of every vector width), kept in a slot of 128 bytes so that samples can be
// moved in and out a word at a time.
constexpr int kLanes = 96;
constexpr int kSlot = 128;
// Columns transposed at a time (kSlot bytes each).
constexpr int kTransposeBlock = 128;
// Vertical pass: one step handles this many bytes of a row.
constexpr int kChunk = 64;
// Below this many multiply-adds the horizontal pass is not worth a thread.
constexpr std::uint64_t kMinThreadedWork = std::uint64_t{1} << 18;

// ---------------------------------------------------------------------------------------------
// Kernels

double Sinc(double x) {
    if (x == 0.0) return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

double Support(ResampleFilter filter) {
    switch (filter) {
        case ResampleFilter::rfBell:
            return 1.5;
        case ResampleFilter::rfBSpline:
        case ResampleFilter::rfMitchell:
        case ResampleFilter::rfBicubic:
            return 2.0;
        case ResampleFilter::rfLanczos3:
            return 3.0;
        default:
            return 1.0;
    }
}

double Kernel(ResampleFilter filter, double t) {
    const double a = std::fabs(t);
    switch (filter) {
        case ResampleFilter::rfHermite:
            return a < 1.0 ? (2.0 * a - 3.0) * t * t + 1.0 : 0.0;
        case ResampleFilter::rfBell:
            if (a < 0.5) return 0.75 - t * t;
            if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
            return 0.0;
        case ResampleFilter::rfBSpline:
            if (a < 1.0) return (0.5 * a - 1.0) * t * t + 2.0 / 3.0;
            if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
            return 0.0;
        case ResampleFilter::rfLanczos3:
            return a < 3.0 ? Sinc(t) * Sinc(t / 3.0) : 0.0;
        case ResampleFilter::rfMitchell: {
            constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
            if (a < 1.0)
                return ((12 - 9 * B - 6 * C) * a * a * a + (-18 + 12 * B + 6 * C) * a * a +
                        (6 - 2 * B)) /
                       6.0;
            if (a < 2.0)
                return ((-B - 6 * C) * a * a * a + (6 * B + 30 * C) * a * a +
                        (-12 * B - 48 * C) * a + (8 * B + 24 * C)) /
                       6.0;
            return 0.0;
        }
        case ResampleFilter::rfBicubic: {
            constexpr double A = -0.5;  // Keys' cubic convolution
            if (a < 1.0) return ((A + 2) * a - (A + 3)) * a * a + 1.0;
            if (a < 2.0) return ((A * a - 5 * A) * a + 8 * A) * a - 4 * A;
            return 0.0;
        }
        case ResampleFilter::rfNearest:
            // Half-open so that a centre halfway between two pixels takes exactly one of them.
            return t >= -0.5 && t < 0.5 ? 1.0 : 0.0;
        case ResampleFilter::rfTriangle:
        case ResampleFilter::rfLinear:
        case ResampleFilter::rfBilinear:
        default:
            return a < 1.0 ? 1.0 - a : 0.0;
    }
}

bool IsKernelFilter(ResampleFilter filter) {
    switch (filter) {
        case ResampleFilter::rfNone:
        case ResampleFilter::rfFastLinear:
        case ResampleFilter::rfProjectBW:
        case ResampleFilter::rfProjectWB:
            return false;
        default:
            return true;
    }
}

int MirrorClamp(std::int64_t j, int n) {
    if (j < 0)
        j = -j;
    else if (j >= n)
        j = 2 * std::int64_t{n} - 1 - j;
    return static_cast<int>(std::clamp<std::int64_t>(j, 0, n - 1));
}

// ---------------------------------------------------------------------------------------------
// Integer weights of one axis, computed once: destination index i takes `taps` consecutive
// samples of the padded source line starting at first[i]. Padded position p holds source
// sample source[p] (mirrored, then clamped), so edges need no test inside the loops. Weights
// of 0 are kept as zero taps where they fall inside the run; they add nothing to either sum.
struct Axis {
    int taps = 0;
    std::vector<int> first;
    std::vector<std::int32_t> weights;  // destination × taps
    std::vector<std::int32_t> divisor;  // > 0; negative weight sums are folded into the weights
    std::vector<int> source;            // padded position → source index
    int pad = 0;                        // padded position of source index 0
};

Axis BuildAxis(int n, int m, ResampleFilter filter) {
    const double support = Support(filter);
    const double s = n > 1 && m > 1 ? static_cast<double>(m - 1) / static_cast<double>(n - 1)
                                    : static_cast<double>(m) / static_cast<double>(n);
    const bool enlarge = s >= 1.0;
    const double width = enlarge ? support : support / s;

    std::vector<std::int64_t> firstJ(m);
    std::vector<int> count(m);
    std::vector<std::size_t> offset(m);
    std::vector<std::int32_t> flat;
    std::vector<std::int32_t> row;
    for (int i = 0; i < m; ++i) {
        const double c = i / s;
        const auto lo = static_cast<std::int64_t>(std::floor(c - width));
        const auto hi = static_cast<std::int64_t>(std::ceil(c + width));
        row.clear();
        for (std::int64_t j = lo; j <= hi; ++j) {
            const double t = c - static_cast<double>(j);
            const double v =
                enlarge ? 256.0 * Kernel(filter, t) : 256.0 * s * Kernel(filter, t * s);
            row.push_back(static_cast<std::int32_t>(std::nearbyint(v)));
        }
        auto nz = [](std::int32_t w) { return w != 0; };
        auto a = std::find_if(row.begin(), row.end(), nz);
        offset[i] = flat.size();
        if (a == row.end()) {
            // A reduction so strong that every weight rounds to 0: take the nearest sample
            // rather than a black pixel.
            firstJ[i] = static_cast<std::int64_t>(std::floor(c + 0.5));
            count[i] = 1;
            flat.push_back(1);
            continue;
        }
        auto b = std::find_if(row.rbegin(), row.rend(), nz).base();
        firstJ[i] = lo + (a - row.begin());
        count[i] = static_cast<int>(b - a);
        flat.insert(flat.end(), a, b);
    }

    Axis ax;
    ax.taps = *std::max_element(count.begin(), count.end());
    const std::int64_t minJ = *std::min_element(firstJ.begin(), firstJ.end());
    const std::int64_t pad = std::max<std::int64_t>(0, -minJ);
    ax.first.resize(m);
    ax.weights.assign(static_cast<std::size_t>(m) * ax.taps, 0);
    ax.divisor.resize(m);
    std::int64_t padded = 0;
    for (int i = 0; i < m; ++i) {
        ax.first[i] = static_cast<int>(firstJ[i] + pad);
        padded = std::max<std::int64_t>(padded, ax.first[i] + ax.taps);
        std::int32_t sum = 0;
        for (int k = 0; k < count[i]; ++k) sum += flat[offset[i] + k];
        // trunc(p / q) == trunc(-p / -q): fold a negative sum into the weights.
        const std::int32_t sign = sum < 0 ? -1 : 1;
        ax.divisor[i] = sum == 0 ? 256 : sign * sum;
        std::int32_t* w = &ax.weights[static_cast<std::size_t>(i) * ax.taps];
        for (int k = 0; k < count[i]; ++k) w[k] = sign * flat[offset[i] + k];
    }
    ax.pad = static_cast<int>(pad);
    ax.source.resize(static_cast<std::size_t>(padded));
    for (std::int64_t p = 0; p < padded; ++p) ax.source[p] = MirrorClamp(p - pad, n);
    return ax;
}

// ---------------------------------------------------------------------------------------------
// Hot loops

// out[l] = clamp(trunc(acc[l] / d), 0, 255) for d > 0. With the numerator clamped to 0..255·d
// and d <= 2048, one single-precision multiply by a reciprocal raised by 2^-20 truncates to the
// exact quotient (checked for every such numerator and divisor); weight sums are about 256.
template <int N>
inline void StoreQuotients(const std::int32_t* __restrict acc, std::int32_t d,
                           std::uint8_t* __restrict out) {
    if (d > 2048) {
        for (int l = 0; l < N; ++l)
            out[l] = static_cast<std::uint8_t>(std::clamp(acc[l] / d, 0, 255));
        return;
    }
    const std::int32_t hi = 255 * d;
    const float r = (1.0f / static_cast<float>(d)) * (1.0f + 0x1p-20f);
    for (int l = 0; l < N; ++l) {
        const std::int32_t v = std::min(std::max(acc[l], 0), hi);
        out[l] = static_cast<std::uint8_t>(static_cast<std::int32_t>(static_cast<float>(v) * r));
    }
}

// Destination columns x0..x1 of one band; columns is the band transposed (padded position p in
// the slot at columns + (p - p0) * kSlot), out receives one slot per destination column.
GW_VECTOR_CLONES
void HorizontalKernel(const std::uint8_t* __restrict columns, int p0, const Axis& ax, int x0,
                      int x1, std::uint8_t* __restrict out) {
    const int taps = ax.taps;
    for (int x = x0; x < x1; ++x) {
        alignas(64) std::int32_t acc[kLanes] = {};
        const std::int32_t* w = ax.weights.data() + static_cast<std::size_t>(x) * taps;
        const std::uint8_t* col = columns + static_cast<std::size_t>(ax.first[x] - p0) * kSlot;
        for (int k = 0; k < taps; ++k, col += kSlot) {
            const std::int32_t wk = w[k];
            for (int l = 0; l < kLanes; ++l) acc[l] += wk * col[l];
        }
        StoreQuotients<kLanes>(acc, ax.divisor[x], out + static_cast<std::size_t>(x - x0) * kSlot);
    }
}

// One destination row from `count` source rows; length is a multiple of kChunk.
GW_VECTOR_CLONES
void VerticalKernel(const std::uint8_t* const* rows, const std::int32_t* weights, int count,
                    std::int32_t d, std::size_t length, std::uint8_t* __restrict out) {
    for (std::size_t c0 = 0; c0 < length; c0 += kChunk) {
        std::int32_t acc[kChunk] = {};
        for (int k = 0; k < count; ++k) {
            const std::uint8_t* __restrict r = rows[k] + c0;
            const std::int32_t wk = weights[k];
            for (int l = 0; l < kChunk; ++l) acc[l] += wk * r[l];
        }
        StoreQuotients<kChunk>(acc, d, out + c0);
    }
}

// ---------------------------------------------------------------------------------------------
// Driving the passes

struct Plane {
    const std::uint8_t* base;
    std::size_t stride;
    const std::uint8_t* Row(int y) const { return base + static_cast<std::size_t>(y) * stride; }
};
struct OutPlane {
    std::uint8_t* base;
    std::size_t stride;
    std::uint8_t* Row(int y) const { return base + static_cast<std::size_t>(y) * stride; }
};

int ResolveThreads(const ResampleOptions& options) {
    if (options.Threads > 0) return options.Threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Runs body(worker, begin, end) over `count` items split in `workers` contiguous parts, the
// calling thread taking part 0. A thread that cannot be started leaves its part to the caller.
template <class Body>
void RunParts(int count, int workers, const Body& body) {
    auto part = [&](int w) {
        return std::pair<int, int>(static_cast<int>(std::int64_t{count} * w / workers),
                                   static_cast<int>(std::int64_t{count} * (w + 1) / workers));
    };
    std::vector<std::thread> pool;
    std::vector<int> leftover;
    pool.reserve(static_cast<std::size_t>(workers));
    leftover.reserve(static_cast<std::size_t>(workers));
    for (int w = 1; w < workers; ++w) {
        const std::pair<int, int> range = part(w);  // clang 14 cannot capture a structured binding
        try {
            pool.emplace_back([&body, w, range] { body(w, range.first, range.second); });
        } catch (const std::system_error&) {
            leftover.push_back(w);
        }
    }
    auto [b0, e0] = part(0);
    body(0, b0, e0);
    for (int w : leftover) {
        auto [b, e] = part(w);
        body(0, b, e);
    }
    for (auto& t : pool) t.join();
}

// Moves one C-byte sample; for C = 3 a whole 4-byte word, the spare byte being overwritten by
// the next move or landing in padding.
template <int C>
inline void MoveSample(std::uint8_t* d, const std::uint8_t* s) {
    if constexpr (C == 3) {
        std::uint32_t v;
        std::memcpy(&v, s, 4);
        std::memcpy(d, &v, 4);
    } else {
        *d = *s;
    }
}

// Samples of a group of rows at one source offset, packed into one word for a single store:
// two RGB samples (6 bytes of 8) or four alpha samples. The spare bytes land where the next
// group or the slot padding goes.
template <int C>
struct RowGroup;
template <>
struct RowGroup<3> {
    static constexpr int kSize = 2;
    static void Move(std::uint8_t* d, const std::uint8_t* const* rows, std::size_t offset) {
        std::uint32_t a, b;
        std::memcpy(&a, rows[0] + offset, 4);
        std::memcpy(&b, rows[1] + offset, 4);
        const std::uint64_t v = (a & 0xFFFFFFu) | (std::uint64_t{b} << 24);
        std::memcpy(d, &v, 8);
    }
};
template <>
struct RowGroup<1> {
    static constexpr int kSize = 4;
    static void Move(std::uint8_t* d, const std::uint8_t* const* rows, std::size_t offset) {
        const std::uint32_t v = rows[0][offset] | (rows[1][offset] << 8) | (rows[2][offset] << 16) |
                                (std::uint32_t{rows[3][offset]} << 24);
        std::memcpy(d, &v, 4);
    }
};

// Transposes padded columns p0..p1 of a band of kLanes / C rows into slots, a block of columns
// at a time so that the slots being filled stay in the first-level cache.
template <int C>
void TransposeBand(const std::uint8_t* const* rows, const Axis& ax, int n, int p0, int p1,
                   std::uint8_t* col) {
    using Group = RowGroup<C>;
    constexpr int kRows = kLanes / C;
    const int* source = ax.source.data();
    for (int q0 = p0; q0 < p1; q0 += kTransposeBlock) {
        const int q1 = std::min(p1, q0 + kTransposeBlock);
        // Inside the source line the samples are consecutive: no index needed.
        const int i0 = std::clamp(ax.pad, q0, q1), i1 = std::clamp(ax.pad + n, i0, q1);
        if (q1 < p1) {
            // Ask for the next block's source bytes now: a band reads many rows at once, more
            // streams than the hardware prefetcher follows.
            const std::size_t n0 = static_cast<std::size_t>(std::clamp(q1 - ax.pad, 0, n)) * C;
            const std::size_t n1 =
                static_cast<std::size_t>(std::clamp(q1 + kTransposeBlock - ax.pad, 0, n)) * C;
            for (int r = 0; r < kRows; ++r)
                for (std::size_t o = n0; o < n1; o += 64) __builtin_prefetch(rows[r] + o);
        }
        for (int r = 0; r < kRows; r += Group::kSize) {
            const std::uint8_t* const* g = rows + r;
            std::uint8_t* d = col + static_cast<std::size_t>(q0 - p0) * kSlot + r * C;
            for (int p = q0; p < i0; ++p, d += kSlot)
                Group::Move(d, g, static_cast<std::size_t>(source[p]) * C);
            std::size_t offset = static_cast<std::size_t>(i0 - ax.pad) * C;
            for (int p = i0; p < i1; ++p, d += kSlot, offset += C) Group::Move(d, g, offset);
            for (int p = i1; p < q1; ++p, d += kSlot)
                Group::Move(d, g, static_cast<std::size_t>(source[p]) * C);
        }
    }
}

// Writes the results of a band (one slot per destination column) to `live` rows of the
// intermediate image, zeroing each row's padding.
template <int C>
void UntransposeBand(const std::uint8_t* out, int live, int columns, std::uint8_t* rows,
                     std::size_t length, std::size_t span) {
    for (int r = 0; r < live; ++r) {
        std::uint8_t* const row = rows + static_cast<std::size_t>(r) * length;
        std::uint8_t* d = row;
        const std::uint8_t* o = out + r * C;
        for (int x = 0; x < columns; ++x, d += C, o += kSlot) MoveSample<C>(d, o);
        std::memset(row + span, 0, length - span);
    }
}

template <int C>
void KernelPlane(Plane src, int n, int h0, OutPlane dst, int m, int h, const Axis& ax,
                 const Axis& ay, int threads, std::size_t tileBytes) {
    constexpr int kRows = kLanes / C;
    const std::size_t tileLimit = tileBytes / (static_cast<std::size_t>(h0) * C);
    const int tile = static_cast<int>(
        std::min<std::size_t>(std::max<std::size_t>(tileLimit, 16), static_cast<std::size_t>(m)));
    const int bands = (h0 + kRows - 1) / kRows;
    // The last row gets a spare byte so that its last pixel can be read as a whole word.
    std::vector<std::uint8_t> lastRow(static_cast<std::size_t>(n) * C + 4, 0);
    std::memcpy(lastRow.data(), src.Row(h0 - 1), static_cast<std::size_t>(n) * C);
    std::unique_ptr<std::uint8_t[]> inter;
    std::size_t interSize = 0;
    std::vector<const std::uint8_t*> rows(ay.taps);
    std::vector<std::int32_t> rowWeights(ay.taps);

    for (int x0 = 0; x0 < m; x0 += tile) {
        const int x1 = std::min(m, x0 + tile);
        int p0 = ax.first[x0], p1 = 0;
        for (int x = x0; x < x1; ++x) {
            p0 = std::min(p0, ax.first[x]);
            p1 = std::max(p1, ax.first[x] + ax.taps);
        }
        const std::size_t span = static_cast<std::size_t>(x1 - x0) * C;
        const std::size_t length = (span + 1 + kChunk - 1) / kChunk * kChunk;
        if (length * h0 > interSize) {
            interSize = length * h0;
            inter.reset(new std::uint8_t[interSize]);
        }

        const std::uint64_t work = std::uint64_t(h0) * (x1 - x0) * ax.taps * C;
        int workers = std::min(threads, bands);
        if (work < kMinThreadedWork) workers = 1;
        std::vector<std::vector<std::uint8_t>> columns(workers), band(workers);
        for (int w = 0; w < workers; ++w) {
            columns[w].resize(static_cast<std::size_t>(p1 - p0) * kSlot);
            band[w].resize(static_cast<std::size_t>(x1 - x0) * kSlot);
        }

        RunParts(bands, workers, [&](int w, int b0, int b1) {
            std::uint8_t* col = columns[w].data();
            std::uint8_t* out = band[w].data();
            for (int b = b0; b < b1; ++b) {
                const int r0 = b * kRows;
                const int live = std::min(kRows, h0 - r0);
                // Transpose the band: each padded column's samples of all rows side by side.
                const std::uint8_t* rowsOfBand[kRows];
                for (int r = 0; r < kRows; ++r) {
                    const int y = r0 + std::min(r, live - 1);
                    rowsOfBand[r] = y == h0 - 1 ? lastRow.data() : src.Row(y);
                }
                TransposeBand<C>(rowsOfBand, ax, n, p0, p1, col);
                HorizontalKernel(col, p0, ax, x0, x1, out);
                UntransposeBand<C>(out, live, x1 - x0, inter.get() + r0 * length, length, span);
            }
        });

        std::vector<std::uint8_t> line(length);
        for (int y = 0; y < h; ++y) {
            const std::int32_t* w = ay.weights.data() + static_cast<std::size_t>(y) * ay.taps;
            int count = 0;
            for (int k = 0; k < ay.taps; ++k) {
                if (w[k] == 0) continue;
                const std::size_t row = static_cast<std::size_t>(ay.source[ay.first[y] + k]);
                rows[count] = inter.get() + row * length;
                rowWeights[count++] = w[k];
            }
            VerticalKernel(rows.data(), rowWeights.data(), count, ay.divisor[y], length,
                           line.data());
            std::memcpy(dst.Row(y) + static_cast<std::size_t>(x0) * C, line.data(), span);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// rfFastLinear: 17-bit fixed-point interpolation when enlarging, a box mean when reducing.

struct FastAxis {
    bool enlarge = false;
    std::vector<int> q;     // first (or only) source index
    std::vector<int> next;  // enlarging: second neighbour; reducing: last index of the box
    std::vector<int> frac;  // enlarging: fraction in 1/131072
};

FastAxis BuildFastAxis(int n, int m, bool horizontal) {
    FastAxis fa;
    const double d = static_cast<double>(m) / static_cast<double>(n);
    fa.enlarge = d > 1.0;
    fa.q.resize(m);
    fa.next.resize(m);
    fa.frac.resize(m, 0);
    for (int x = 0; x < m; ++x) {
        const double xd = x / d;
        const int q = std::min(static_cast<int>(std::floor(xd)), n - 1);
        fa.q[x] = q;
        if (fa.enlarge) {
            fa.frac[x] = static_cast<int>(std::floor((xd - q) * 131072.0));
            fa.next[x] = std::min(q + 1, n - 1);
        } else {
            double e = std::min(x + 1, m - 1) / d;
            if (horizontal) e += 1e-10;
            fa.next[x] = std::clamp(static_cast<int>(std::floor(e)), q, n - 1);
        }
    }
    return fa;
}

template <int C>
void FastLinearRow(const std::uint8_t* s, const FastAxis& fx, int m, std::uint8_t* d) {
    for (int x = 0; x < m; ++x)
        for (int c = 0; c < C; ++c) {
            const int a = s[fx.q[x] * C + c];
            if (fx.enlarge) {
                const int b = s[fx.next[x] * C + c];
                d[x * C + c] = static_cast<std::uint8_t>(a + (b - a) * fx.frac[x] / 131072);
            } else {
                int sum = 0;
                for (int j = fx.q[x]; j <= fx.next[x]; ++j) sum += s[j * C + c];
                d[x * C + c] = static_cast<std::uint8_t>(sum / (fx.next[x] - fx.q[x] + 1));
            }
        }
}

// Intermediate rows are made when the vertical pass needs them and not kept beyond that, so
// memory stays at a few rows of the result's width whatever the shape.
template <int C>
void FastLinearPlane(Plane src, int n, int h0, OutPlane dst, int m, int h) {
    const FastAxis fx = BuildFastAxis(n, m, true);
    const FastAxis fy = BuildFastAxis(h0, h, false);
    const std::size_t length = static_cast<std::size_t>(m) * C;
    std::vector<std::uint8_t> first(length), second(length);
    int firstRow = -1, secondRow = -1;
    auto rowOf = [&](int j, std::vector<std::uint8_t>& buf, int& held) -> const std::uint8_t* {
        if (held != j) {
            FastLinearRow<C>(src.Row(j), fx, m, buf.data());
            held = j;
        }
        return buf.data();
    };
    std::vector<std::uint32_t> sum(length);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* d = dst.Row(y);
        if (fy.enlarge) {
            // Rows q and q + 1 move forward together; reuse whichever is already made.
            if (secondRow == fy.q[y]) {
                std::swap(first, second);
                std::swap(firstRow, secondRow);
            }
            const std::uint8_t* a = rowOf(fy.q[y], first, firstRow);
            const std::uint8_t* b =
                fy.next[y] == fy.q[y] ? a : rowOf(fy.next[y], second, secondRow);
            const int f = fy.frac[y];
            for (std::size_t i = 0; i < length; ++i)
                d[i] = static_cast<std::uint8_t>(a[i] + (b[i] - a[i]) * f / 131072);
        } else {
            std::fill(sum.begin(), sum.end(), 0);
            for (int j = fy.q[y]; j <= fy.next[y]; ++j) {
                const std::uint8_t* r = rowOf(j, first, firstRow);
                for (std::size_t i = 0; i < length; ++i) sum[i] += r[i];
            }
            const auto count = static_cast<std::uint32_t>(fy.next[y] - fy.q[y] + 1);
            for (std::size_t i = 0; i < length; ++i)
                d[i] = static_cast<std::uint8_t>(sum[i] / count);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// rfNone (point sampling) and the projections (darkest or lightest sample of each box).

struct Box {
    int begin, end;  // source range [begin, end)
};

Box SourceBox(int i, int n, int m) {
    const auto b = static_cast<int>(std::int64_t{i} * n / m);
    const auto e = static_cast<int>((std::int64_t{i + 1} * n + m - 1) / m);
    return {b, std::max(b + 1, std::min(e, n))};
}

enum class Sampling { Point, Darkest, Lightest };

// Works on samples of 8 bits; for ie1g the caller passes expanded 0/255 samples.
template <int C>
void SamplePlane(Plane src, int n, int h0, OutPlane dst, int m, int h, Sampling mode) {
    for (int y = 0; y < h; ++y) {
        const Box by = SourceBox(y, h0, h);
        std::uint8_t* d = dst.Row(y);
        for (int x = 0; x < m; ++x) {
            const Box bx = SourceBox(x, n, m);
            for (int c = 0; c < C; ++c) {
                if (mode == Sampling::Point) {
                    d[x * C + c] = src.Row(by.begin)[bx.begin * C + c];
                    continue;
                }
                std::uint8_t v = mode == Sampling::Darkest ? 255 : 0;
                for (int yy = by.begin; yy < by.end; ++yy)
                    for (int xx = bx.begin; xx < bx.end; ++xx) {
                        const std::uint8_t s = src.Row(yy)[xx * C + c];
                        v = mode == Sampling::Darkest ? std::min(v, s) : std::max(v, s);
                    }
                d[x * C + c] = v;
            }
        }
    }
}

std::vector<std::uint8_t> ExpandBits(const RasterImage& image) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(image.Width()) * image.Height());
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* r = image.Row(y);
        for (int x = 0; x < image.Width(); ++x)
            out[static_cast<std::size_t>(y) * image.Width() + x] =
                (r[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    }
    return out;
}

RasterImage SampleBits(const RasterImage& source, int width, int height, Sampling mode) {
    RasterImage out;
    if (!out.Allocate(width, height, PixelFormat::ie1g)) return out;
    const std::vector<std::uint8_t> bits = ExpandBits(source);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * height);
    SamplePlane<1>({bits.data(), static_cast<std::size_t>(source.Width())}, source.Width(),
                   source.Height(), {grey.data(), static_cast<std::size_t>(width)}, width, height,
                   mode);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* r = out.Row(y);
        for (int x = 0; x < width; ++x)
            if (grey[static_cast<std::size_t>(y) * width + x])
                r[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
    if (source.HasAlpha()) {
        out.AddAlpha();
        SamplePlane<1>({source.Alpha().data(), static_cast<std::size_t>(source.Width())},
                       source.Width(), source.Height(),
                       {out.Alpha().data(), static_cast<std::size_t>(width)}, width, height, mode);
    }
    return out;
}

Sampling SamplingOf(ResampleFilter filter) {
    return filter == ResampleFilter::rfProjectBW   ? Sampling::Darkest
           : filter == ResampleFilter::rfProjectWB ? Sampling::Lightest
                                                   : Sampling::Point;
}

}  // namespace

RasterImage ResampleRaster(const RasterImage& source, int width, int height, ResampleFilter filter,
                           const ResampleOptions& options) {
    RasterImage out;
    if (source.Empty() || !ImageSizeAllowed(width, height)) return out;
    if (width == source.Width() && height == source.Height()) return source;
    const bool sampling = filter == ResampleFilter::rfNone ||
                          filter == ResampleFilter::rfProjectBW ||
                          filter == ResampleFilter::rfProjectWB;
    if (sampling && source.Format() == PixelFormat::ie1g)
        return SampleBits(source, width, height, SamplingOf(filter));

    RasterImage converted;
    if (source.Format() != PixelFormat::ie24RGB) converted = source.ToRgb24();
    const RasterImage& src = source.Format() == PixelFormat::ie24RGB ? source : converted;
    if (src.Empty() || !out.Allocate(width, height, PixelFormat::ie24RGB)) return RasterImage{};
    if (src.HasAlpha()) out.AddAlpha();

    const int n = src.Width(), h0 = src.Height();
    const Plane colour{src.Pixels().data(), src.Stride()};
    const OutPlane outColour{out.Pixels().data(), out.Stride()};
    const Plane alpha{src.Alpha().data(), static_cast<std::size_t>(n)};
    const OutPlane outAlpha{out.Alpha().data(), static_cast<std::size_t>(width)};

    if (n == 1 && h0 == 1) {
        // One source pixel: every result pixel is that pixel.
        const Rgb c = src.PixelRgb(0, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.SetPixelRgb(x, y, c);
        if (src.HasAlpha()) std::fill(out.Alpha().begin(), out.Alpha().end(), src.Alpha()[0]);
        return out;
    }

    if (IsKernelFilter(filter)) {
        const Axis ax = BuildAxis(n, width, filter);
        const Axis ay = BuildAxis(h0, height, filter);
        const int threads = ResolveThreads(options);
        KernelPlane<3>(colour, n, h0, outColour, width, height, ax, ay, threads,
                       options.MaxIntermediateBytes);
        if (src.HasAlpha())
            KernelPlane<1>(alpha, n, h0, outAlpha, width, height, ax, ay, threads,
                           options.MaxIntermediateBytes);
    } else if (filter == ResampleFilter::rfFastLinear) {
        FastLinearPlane<3>(colour, n, h0, outColour, width, height);
        if (src.HasAlpha()) FastLinearPlane<1>(alpha, n, h0, outAlpha, width, height);
    } else {
        const Sampling mode = SamplingOf(filter);
        SamplePlane<3>(colour, n, h0, outColour, width, height, mode);
        if (src.HasAlpha()) SamplePlane<1>(alpha, n, h0, outAlpha, width, height, mode);
    }
    return out;
}

void ResampleImage(ImageHolder& holder, int width, int height, ResampleFilter filter,
                   const ResampleOptions& options) {
    const RasterImage& image = holder.Image;
    if (image.Empty() || width < 1 || height < 1) return;
    if (width == image.Width() && height == image.Height()) return;
    RasterImage out = ResampleRaster(image, width, height, filter, options);
    if (out.Empty()) return;
    holder.Image = std::move(out);
    holder.Selection.clear();
}

void ResampleImage(ImageHolder& holder, int width, int height, ResampleFilter filter) {
    ResampleImage(holder, width, height, filter, ResampleOptions{});
}

}  // namespace gw
