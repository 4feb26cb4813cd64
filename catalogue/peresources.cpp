#include "catalogue/peresources.h"

#include <algorithm>

#include "imagefile/bytereader.h"
#include "imagefile/limits.h"

namespace gw {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
// The Windows loader accepts no more sections than this.
constexpr std::uint64_t kMaxSections = 96;

// Little-endian fields at an absolute offset; 0 when they are not inside the file.
std::uint16_t U16At(const ByteReader& r, std::uint64_t offset) {
    auto s = r.at(offset, 2);
    return s.empty() ? 0 : ByteReader(s).u16le();
}

std::uint32_t U32At(const ByteReader& r, std::uint64_t offset) {
    auto s = r.at(offset, 4);
    return s.empty() ? 0 : ByteReader(s).u32le();
}

struct Section {
    std::uint32_t VirtualAddress = 0;
    std::uint32_t VirtualSize = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
};

// Maps relative virtual addresses to file offsets through the section table.
class AddressMap {
  public:
    AddressMap(std::vector<Section> sections, std::uint32_t headerSize)
        : sections_(std::move(sections)), headerSize_(headerSize) {}

    // False when the address is in no section or in a part of one that the file does not hold.
    bool ToOffset(std::uint32_t rva, std::uint64_t& offset) const {
        for (const Section& s : sections_) {
            std::uint64_t extent = std::max(s.VirtualSize, s.RawSize);
            if (rva < s.VirtualAddress || rva - s.VirtualAddress >= extent) continue;
            std::uint64_t delta = rva - s.VirtualAddress;
            if (delta >= s.RawSize) return false;
            offset = std::uint64_t{s.RawOffset} + delta;
            return true;
        }
        if (rva < headerSize_) {
            offset = rva;
            return true;
        }
        return false;
    }

  private:
    std::vector<Section> sections_;
    std::uint32_t headerSize_;
};

}  // namespace

const char* ResourceErrorText(ResourceError error) {
    switch (error) {
        case ResourceError::None:
            return "No error";
        case ResourceError::NotExecutable:
            return "The file is not a Windows executable or library";
        case ResourceError::Malformed:
            return "The executable's headers are damaged";
        case ResourceError::NoResources:
            return "The executable holds no resources";
    }
    return "Unknown error";
}

void ResourceTable::Clear() {
    format_ = ExecutableFormat::Unknown;
    lists_.clear();
    budget_ = Limits::kEntryBudget;
    truncated_ = false;
}

bool ResourceTable::Spend() {
    if (budget_ == 0) {
        truncated_ = true;
        return false;
    }
    --budget_;
    return true;
}

ResourceTable::TypeList* ResourceTable::Wanted(std::uint16_t type) {
    for (TypeList& l : lists_)
        if (l.Type == type) return l.Seen ? nullptr : &l;
    return nullptr;
}

const std::vector<Resource>& ResourceTable::OfType(std::uint16_t type) const {
    static const std::vector<Resource> kNone;
    for (const TypeList& l : lists_)
        if (l.Type == type) return l.Items;
    return kNone;
}

const Resource* ResourceTable::Find(std::uint16_t type, std::uint32_t id) const {
    for (const TypeList& l : lists_) {
        if (l.Type != type) continue;
        auto it =
            std::lower_bound(l.ById.begin(), l.ById.end(), id,
                             [&](std::uint32_t i, std::uint32_t v) { return l.Items[i].Id < v; });
        if (it == l.ById.end() || l.Items[*it].Id != id) return nullptr;
        return &l.Items[*it];
    }
    return nullptr;
}

void ResourceTable::Index() {
    for (TypeList& l : lists_) {
        l.ById.clear();
        for (std::uint32_t i = 0; i < l.Items.size(); ++i)
            if (!l.Items[i].Named) l.ById.push_back(i);
        std::stable_sort(l.ById.begin(), l.ById.end(), [&](std::uint32_t a, std::uint32_t b) {
            return l.Items[a].Id < l.Items[b].Id;
        });
    }
}

ResourceError ResourceTable::Read(std::span<const std::uint8_t> file,
                                  std::span<const std::uint16_t> types) {
    Clear();
    for (std::uint16_t t : types)
        if (std::none_of(lists_.begin(), lists_.end(),
                         [&](const TypeList& l) { return l.Type == t; })) {
            TypeList l;
            l.Type = t;
            lists_.push_back(std::move(l));
        }

    ByteReader r(file);
    if (file.size() < 64 || U16At(r, 0) != 0x5A4D) return ResourceError::NotExecutable;
    const std::uint64_t header = U32At(r, 0x3C);
    auto sig = r.at(header, 4);
    ResourceError error = ResourceError::NotExecutable;
    if (!sig.empty() && sig[0] == 'P' && sig[1] == 'E' && sig[2] == 0 && sig[3] == 0)
        error = ReadPe(file, header);
    else if (!sig.empty() && sig[0] == 'N' && sig[1] == 'E')
        error = ReadNe(file, header);
    if (error != ResourceError::None) {
        ExecutableFormat format = format_;
        for (TypeList& l : lists_) l.Items.clear();
        format_ = format;
    }
    Index();
    return error;
}

ResourceError ResourceTable::ReadPe(std::span<const std::uint8_t> file, std::uint64_t pe) {
    const ByteReader r(file);
    const std::uint64_t coff = pe + 4;
    if (!r.has(coff, 20)) return ResourceError::Malformed;
    const std::uint16_t sectionCount = U16At(r, coff + 2);
    const std::uint16_t optionalSize = U16At(r, coff + 16);
    const std::uint64_t opt = coff + 20;
    if (optionalSize < 2 || !r.has(opt, optionalSize)) return ResourceError::Malformed;

    std::uint64_t countAt = 0, dirsAt = 0;
    switch (U16At(r, opt)) {
        case 0x10B:
            format_ = ExecutableFormat::PE32;
            countAt = 92;
            dirsAt = 96;
            break;
        case 0x20B:
            format_ = ExecutableFormat::PE32Plus;
            countAt = 108;
            dirsAt = 112;
            break;
        default:
            return ResourceError::NotExecutable;
    }
    // The resource directory is data directory 2.
    if (optionalSize < dirsAt + 3 * 8 || U32At(r, opt + countAt) <= 2)
        return ResourceError::NoResources;
    const std::uint32_t rsrcRva = U32At(r, opt + dirsAt + 16);
    if (rsrcRva == 0) return ResourceError::NoResources;

    const std::uint64_t sectionsAt = opt + optionalSize;
    std::uint64_t sectionRoom = sectionsAt < file.size() ? (file.size() - sectionsAt) / 40 : 0;
    std::vector<Section> sections(
        std::min<std::uint64_t>({sectionCount, sectionRoom, kMaxSections}));
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::uint64_t s = sectionsAt + 40 * i;
        sections[i] = {U32At(r, s + 12), U32At(r, s + 8), U32At(r, s + 16), U32At(r, s + 20)};
    }
    const AddressMap map(std::move(sections), U32At(r, opt + 60));

    std::uint64_t base = 0;
    if (!map.ToOffset(rsrcRva, base) || !r.has(base, 16)) return ResourceError::Malformed;

    // Calls visit(name, target) for each entry of the directory at a section-relative offset,
    // as far as the entries lie inside the file; visit returns false to stop early.
    auto walk = [&](std::uint32_t relative, auto&& visit) {
        const std::uint64_t at = base + relative;
        if (!r.has(at, 16)) return;
        std::uint64_t count = std::uint64_t{U16At(r, at + 12)} + U16At(r, at + 14);
        count = std::min<std::uint64_t>(count, (file.size() - at - 16) / 8);
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!Spend()) return;
            const std::uint64_t e = at + 16 + 8 * i;
            if (!visit(U32At(r, e), U32At(r, e + 4))) return;
        }
    };
    auto dataAt = [&](std::uint32_t relative) -> std::span<const std::uint8_t> {
        const std::uint64_t at = base + relative;
        std::uint64_t offset = 0;
        if (!r.has(at, 16) || !map.ToOffset(U32At(r, at), offset)) return {};
        return ClampedSpan(file, offset, U32At(r, at + 4));
    };

    // Three fixed levels (type, name, language), so a directory that points back at one of its
    // ancestors is read as an ordinary directory of the next level and the walk cannot loop.
    walk(0, [&](std::uint32_t typeName, std::uint32_t typeTarget) {
        if (typeName > 0xFFFF || !(typeTarget & kHighBit)) return true;
        TypeList* list = Wanted(static_cast<std::uint16_t>(typeName));
        if (!list) return true;
        list->Seen = true;
        walk(typeTarget & ~kHighBit, [&](std::uint32_t name, std::uint32_t target) {
            Resource res;
            res.Named = (name & kHighBit) != 0;
            res.Id = res.Named ? 0 : name;
            if (target & kHighBit) {
                walk(target & ~kHighBit, [&](std::uint32_t, std::uint32_t languageTarget) {
                    if (languageTarget & kHighBit) return true;
                    res.Data = dataAt(languageTarget);
                    return false;
                });
            } else {
                res.Data = dataAt(target);
            }
            if (truncated_) return false;
            list->Items.push_back(res);
            return true;
        });
        return !truncated_;
    });
    return ResourceError::None;
}

ResourceError ResourceTable::ReadNe(std::span<const std::uint8_t> file, std::uint64_t ne) {
    const ByteReader r(file);
    if (!r.has(ne, 64)) return ResourceError::Malformed;
    format_ = ExecutableFormat::NE;
    // OS/2 modules keep their resources in a different table.
    if (r.at(ne + 0x36, 1)[0] == 1) return ResourceError::NoResources;
    const std::uint16_t tableRelative = U16At(r, ne + 0x24);
    if (tableRelative == U16At(r, ne + 0x26)) return ResourceError::NoResources;
    const std::uint64_t table = ne + tableRelative;
    if (!r.has(table, 2)) return ResourceError::Malformed;
    const std::uint16_t shift = U16At(r, table);
    if (shift >= 32) return ResourceError::Malformed;

    // Type records until a zero type; a table without its terminator ends at the file's end.
    std::uint64_t pos = table + 2;
    while (Spend() && r.has(pos, 8)) {
        const std::uint16_t type = U16At(r, pos);
        if (type == 0) break;
        const std::uint16_t count = U16At(r, pos + 2);
        const std::uint64_t names = pos + 8;
        pos = names + 12 * std::uint64_t{count};
        TypeList* list = (type & 0x8000) ? Wanted(type & 0x7FFF) : nullptr;
        if (!list) continue;
        list->Seen = true;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t at = names + 12 * i;
            if (!r.has(at, 12) || !Spend()) break;
            const std::uint16_t id = U16At(r, at + 6);
            Resource res;
            res.Named = (id & 0x8000) == 0;
            res.Id = res.Named ? 0 : (id & 0x7FFFu);
            res.Data = ClampedSpan(file, std::uint64_t{U16At(r, at)} << shift,
                                   std::uint64_t{U16At(r, at + 2)} << shift);
            list->Items.push_back(res);
        }
    }
    return ResourceError::None;
}

}  // namespace gw
