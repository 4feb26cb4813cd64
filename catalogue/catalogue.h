#pragma once
// The catalogue: every icon and picture the user has opened, in the order added, with the
// selection and the grid layout rules.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/raster.h"

namespace gw {

// An entry's picture as the grid paints it: the picture's own size (which the layout rules
// use) and a copy no larger than a cell for painting, in 8-bit blue, green, red, alpha.
struct Picture {
    int Width = 0;
    int Height = 0;
    int DisplayWidth = 0;
    int DisplayHeight = 0;
    std::vector<std::uint8_t> Bgra;
    bool Failed = false;  // undecodable: the grid shows its fallback picture

    // A display copy of the image, reduced to fit maxSide × maxSide when larger.
    // width/height override the recorded size (a file decoded at reduced scale).
    static Picture FromImage(const RasterImage& image, int maxSide = 80, int width = 0,
                             int height = 0);
    static Picture Undecodable() {
        Picture p;
        p.Failed = true;
        return p;
    }
};

struct IconEntry {
    std::string SourcePath;
    std::string DisplayName;
    int IconNumber = 0;
    std::shared_ptr<const Picture> Image;
};

// Cell geometry of the grid.
struct GridLayout {
    static constexpr int ThumbWidth = 80;
    static constexpr int ThumbHeight = 80;
    static constexpr int HorizBorder = 6;
    static constexpr int VertBorder = 6;
    static constexpr int PitchX = ThumbWidth + HorizBorder;
    static constexpr int PitchY = ThumbHeight + VertBorder;

    // As many columns as fit (at least one).
    static int Columns(int clientWidth);
    static int Rows(int count, int clientWidth);
    // Height of all rows with the borders: the scrollable extent.
    static int ContentHeight(int count, int clientWidth);
    // Top-left corner of cell k in client coordinates.
    static int CellLeft(int k, int clientWidth);
    static int CellTop(int k, int clientWidth, int scrollY);
    // The item whose cell holds the point, or -1 (gaps, empty area).
    static int ItemAt(int x, int y, int clientWidth, int scrollY, int count);
};

class Catalogue {
  public:
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Valid(int i) const { return i >= 0 && i < Count(); }

    // Adds an entry after the last and returns its index; it becomes the only selected entry.
    int Append(IconEntry entry = {});
    const IconEntry& Entry(int i) const { return entries_[static_cast<std::size_t>(i)]; }
    IconEntry& Entry(int i) { return entries_[static_cast<std::size_t>(i)]; }

    // The tag is the entry's icon number; -1 outside the range, and setting there does nothing.
    int Tag(int i) const { return Valid(i) ? Entry(i).IconNumber : -1; }
    void SetTag(int i, int value) {
        if (Valid(i)) Entry(i).IconNumber = value;
    }
    // Stored picture size; 0 outside the range.
    int PictureWidth(int i) const;
    int PictureHeight(int i) const;

    bool IsSelected(int i) const { return Valid(i) && selected_[static_cast<std::size_t>(i)]; }
    int SelectedCount() const { return static_cast<int>(order_.size()); }
    // The i-th selected entry in the order of selection.
    int SelectedAt(int k) const { return order_[static_cast<std::size_t>(k)]; }
    const std::vector<int>& Selection() const { return order_; }
    // The entry most recently selected while it stays selected, else -1.
    int Current() const { return current_; }

    void ClearSelection();
    void SelectOnly(int i);
    // Adds the entry (which becomes current) or takes it out (leaving no current entry).
    void ToggleSelection(int i);
    // The selection becomes every entry from `from` to `to`; `to` is current.
    void SelectRange(int from, int to);
    // Adds every entry from `from` to `to` to the selection; `to` is current.
    void AddRange(int from, int to);

    // Removes the selected entries; the first remaining entry that followed the current one
    // (else the last remaining) becomes the only selected entry; none without a current entry.
    void RemoveSelected();
    void RemoveAll();

    // Called after every change of entries or selection.
    void SetChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }

  private:
    void Select(int i);
    void Notify() {
        if (listener_) listener_();
    }

    std::vector<IconEntry> entries_;
    std::vector<char> selected_;
    std::vector<int> order_;
    int current_ = -1;
    std::function<void()> listener_;
};

}  // namespace gw
