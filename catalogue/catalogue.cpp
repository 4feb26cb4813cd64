#include "catalogue/catalogue.h"

#include <algorithm>

namespace gw {

namespace {

// Area-averaging reduction to w × h; also turns any format into blue, green, red, alpha.
std::vector<std::uint8_t> ReduceToBgra(const RasterImage& src, int w, int h) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    const int sw = src.Width(), sh = src.Height();
    const bool alpha = src.HasAlpha();
    for (int y = 0; y < h; ++y) {
        const int y0 = static_cast<int>(static_cast<long long>(y) * sh / h);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * sh / h));
        for (int x = 0; x < w; ++x) {
            const int x0 = static_cast<int>(static_cast<long long>(x) * sw / w);
            const int x1 =
                std::max(x0 + 1, static_cast<int>(static_cast<long long>(x + 1) * sw / w));
            // Colour is weighted by alpha so transparent pixels do not darken the edges.
            std::uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    Rgb c = src.PixelRgb(sx, sy);
                    std::uint32_t av = alpha ? src.AlphaRow(sy)[sx] : 255;
                    r += c.r * av;
                    g += c.g * av;
                    b += c.b * av;
                    a += av;
                    ++n;
                }
            std::uint8_t* p = out.data() + (static_cast<std::size_t>(y) * w + x) * 4;
            if (a > 0) {
                p[0] = static_cast<std::uint8_t>(b / a);
                p[1] = static_cast<std::uint8_t>(g / a);
                p[2] = static_cast<std::uint8_t>(r / a);
            }
            p[3] = static_cast<std::uint8_t>(a / n);
        }
    }
    return out;
}

}  // namespace

Picture Picture::FromImage(const RasterImage& image, int maxSide, int width, int height) {
    Picture p;
    if (image.Empty()) return Undecodable();
    p.Width = width > 0 ? width : image.Width();
    p.Height = height > 0 ? height : image.Height();
    int w = image.Width(), h = image.Height();
    if (w > maxSide || h > maxSide) {
        if (w >= h) {
            h = std::max(1, static_cast<int>(static_cast<long long>(h) * maxSide / w));
            w = maxSide;
        } else {
            w = std::max(1, static_cast<int>(static_cast<long long>(w) * maxSide / h));
            h = maxSide;
        }
    }
    p.DisplayWidth = w;
    p.DisplayHeight = h;
    p.Bgra = ReduceToBgra(image, w, h);
    return p;
}

int GridLayout::Columns(int clientWidth) {
    return std::max(1, (clientWidth - HorizBorder) / PitchX);
}

int GridLayout::Rows(int count, int clientWidth) {
    const int c = Columns(clientWidth);
    return (count + c - 1) / c;
}

int GridLayout::ContentHeight(int count, int clientWidth) {
    return VertBorder + Rows(count, clientWidth) * PitchY;
}

int GridLayout::CellLeft(int k, int clientWidth) {
    return HorizBorder + (k % Columns(clientWidth)) * PitchX;
}

int GridLayout::CellTop(int k, int clientWidth, int scrollY) {
    return VertBorder + (k / Columns(clientWidth)) * PitchY - scrollY;
}

int GridLayout::ItemAt(int x, int y, int clientWidth, int scrollY, int count) {
    const long long gx = static_cast<long long>(x) - HorizBorder;
    const long long gy = static_cast<long long>(y) + scrollY - VertBorder;
    if (gx < 0 || gy < 0) return -1;
    if (gx % PitchX >= ThumbWidth || gy % PitchY >= ThumbHeight) return -1;
    const long long col = gx / PitchX, row = gy / PitchY;
    const int columns = Columns(clientWidth);
    if (col >= columns) return -1;
    const long long k = row * columns + col;
    return k < count ? static_cast<int>(k) : -1;
}

int Catalogue::Append(IconEntry entry) {
    entries_.push_back(std::move(entry));
    selected_.push_back(0);
    const int index = Count() - 1;
    std::fill(selected_.begin(), selected_.end(), 0);
    order_.clear();
    Select(index);
    Notify();
    return index;
}

int Catalogue::PictureWidth(int i) const {
    return Valid(i) && Entry(i).Image ? Entry(i).Image->Width : 0;
}

int Catalogue::PictureHeight(int i) const {
    return Valid(i) && Entry(i).Image ? Entry(i).Image->Height : 0;
}

void Catalogue::Select(int i) {
    if (!selected_[static_cast<std::size_t>(i)]) {
        selected_[static_cast<std::size_t>(i)] = 1;
        order_.push_back(i);
    }
    current_ = i;
}

void Catalogue::ClearSelection() {
    for (int i : order_) selected_[static_cast<std::size_t>(i)] = 0;
    order_.clear();
    current_ = -1;
    Notify();
}

void Catalogue::SelectOnly(int i) {
    if (!Valid(i)) return;
    for (int s : order_) selected_[static_cast<std::size_t>(s)] = 0;
    order_.clear();
    Select(i);
    Notify();
}

void Catalogue::ToggleSelection(int i) {
    if (!Valid(i)) return;
    if (selected_[static_cast<std::size_t>(i)]) {
        selected_[static_cast<std::size_t>(i)] = 0;
        order_.erase(std::find(order_.begin(), order_.end(), i));
        current_ = -1;
    } else {
        Select(i);
    }
    Notify();
}

void Catalogue::SelectRange(int from, int to) {
    if (!Valid(to)) return;
    for (int s : order_) selected_[static_cast<std::size_t>(s)] = 0;
    order_.clear();
    AddRange(Valid(from) ? from : to, to);
}

void Catalogue::AddRange(int from, int to) {
    if (!Valid(to)) return;
    if (!Valid(from)) from = to;
    const int step = from <= to ? 1 : -1;
    for (int i = from; i != to; i += step) Select(i);
    Select(to);
    Notify();
}

void Catalogue::RemoveSelected() {
    if (order_.empty()) return;
    int keep = -1;  // new index of the entry to select afterwards
    const int n = Count();
    if (current_ >= 0) {
        int follower = -1;
        for (int j = current_ + 1; j < n; ++j)
            if (!selected_[static_cast<std::size_t>(j)]) {
                follower = j;
                break;
            }
        const int remaining = n - SelectedCount();
        if (follower >= 0) {
            int removedBefore = 0;
            for (int s : order_)
                if (s < follower) ++removedBefore;
            keep = follower - removedBefore;
        } else if (remaining > 0) {
            keep = remaining - 1;
        }
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (!selected_[i]) {
            if (out != i) entries_[out] = std::move(entries_[i]);
            ++out;
        }
    entries_.resize(out);
    selected_.assign(out, 0);
    order_.clear();
    current_ = -1;
    if (keep >= 0) Select(keep);
    Notify();
}

void Catalogue::RemoveAll() {
    entries_.clear();
    selected_.clear();
    order_.clear();
    current_ = -1;
    Notify();
}

}  // namespace gw
