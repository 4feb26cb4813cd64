// Multi-page PCX (DCX): a table of page offsets, each page a complete PCX file.
#include "imagefile/bytereader.h"
#include "imagefile/formats/codec.h"
#include "imagefile/formats/helpers.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::uint32_t kDcxMagic = 987654321;
constexpr std::size_t kTableBytes = 4 + 4 * (Limits::kMaxPages + 1);

// Page offsets up to the terminating zero; an offset outside the data ends the table.
std::vector<std::uint64_t> PageOffsets(std::span<const std::uint8_t> data) {
    std::vector<std::uint64_t> pages;
    ByteReader r(data);
    if (r.u32le() != kDcxMagic || !r.ok()) return pages;
    for (std::size_t i = 0; i < Limits::kMaxPages; ++i) {
        const std::uint32_t offset = r.u32le();
        if (!r.ok() || offset == 0) break;
        if (offset < 8 || offset >= data.size()) break;
        pages.push_back(offset);
    }
    return pages;
}

bool ProbeDcx(std::span<const std::uint8_t> data) {
    std::vector<std::uint64_t> pages = PageOffsets(data);
    return !pages.empty() && kPcxCodec.Probe(data.subspan(pages[0]));
}

ImageError ReadDcx(ImageHolder& holder, std::span<const std::uint8_t> data,
                   const ReadOptions& options) {
    std::vector<std::uint64_t> pages = PageOffsets(data);
    const int index = holder.Params.DCX_ImageIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= pages.size()) return ImageError::Damaged;
    const std::uint64_t start = pages[index];
    // A page ends where the next one begins (its 256-colour palette sits at its end).
    std::uint64_t end = data.size();
    if (static_cast<std::size_t>(index) + 1 < pages.size() && pages[index + 1] > start)
        end = pages[index + 1];
    return kPcxCodec.Read(holder, data.subspan(start, end - start), options);
}

// The first page's header; the page table gives the count.
ImageError InfoDcx(std::span<const std::uint8_t> data, ImageInfo& info) {
    std::vector<std::uint64_t> pages = PageOffsets(data);
    if (pages.empty()) return ImageError::Damaged;
    const std::uint64_t end = pages.size() > 1 && pages[1] > pages[0] ? pages[1] : data.size();
    const ImageError e = kPcxCodec.Info(data.subspan(pages[0], end - pages[0]), info);
    info.ImageCount = static_cast<int>(pages.size());
    return e;
}

ImageError WriteDcx(ImageHolder& holder, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> page;
    if (const ImageError e = kPcxCodec.Write(holder, page); e != ImageError::None) return e;
    const std::size_t base = out.size();
    PutU32le(out, kDcxMagic);
    PutU32le(out, static_cast<std::uint32_t>(kTableBytes));
    out.resize(base + kTableBytes, 0);
    out.insert(out.end(), page.begin(), page.end());
    return ImageError::None;
}

}  // namespace

const FormatCodec kDcxCodec{ProbeDcx, ReadDcx, WriteDcx, InfoDcx};

}  // namespace gw
