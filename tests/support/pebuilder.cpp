#include "support/pebuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "base/fileio.h"

namespace gw::pefix {
namespace {

constexpr std::uint16_t kIconType = 3;
constexpr std::uint16_t kGroupType = 14;

class Out {
  public:
    std::vector<std::uint8_t> b;

    std::size_t size() const { return b.size(); }
    void u8(unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void be32(std::uint32_t v) {
        u8(v >> 24);
        u8((v >> 16) & 0xFF);
        u8((v >> 8) & 0xFF);
        u8(v & 0xFF);
    }
    void bytes(const std::vector<std::uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    void text(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
    void padTo(std::size_t n) {
        if (b.size() < n) b.resize(n, 0);
    }
    void align(std::size_t a) { padTo((b.size() + a - 1) / a * a); }
    void put16(std::size_t at, unsigned v) {
        b[at] = v & 0xFF;
        b[at + 1] = (v >> 8) & 0xFF;
    }
};

std::size_t AlignUp(std::size_t v, std::size_t a) {
    return (v + a - 1) / a * a;
}

std::uint8_t SizeByte(int v) {
    return static_cast<std::uint8_t>(v >= 256 ? 0 : v);
}

void PngChunk(Out& o, const char* type, const std::vector<std::uint8_t>& data) {
    o.be32(static_cast<std::uint32_t>(data.size()));
    std::size_t start = o.size();
    o.text(type);
    o.bytes(data);
    uLong crc = crc32(0, o.b.data() + start, static_cast<uInt>(o.size() - start));
    o.be32(static_cast<std::uint32_t>(crc));
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

IconImage MakeDibIcon(int width, int height, int bitCount, const PixelFn& pixel) {
    const int colours = bitCount <= 8 ? 1 << bitCount : 0;
    std::vector<Rgba> palette;
    std::vector<Rgba> px(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Rgba c = pixel(x, y);
            px[static_cast<std::size_t>(y) * width + x] = c;
            Rgba opaque{c.r, c.g, c.b, 0};
            if (colours && static_cast<int>(palette.size()) < colours &&
                std::find(palette.begin(), palette.end(), opaque) == palette.end())
                palette.push_back(opaque);
        }
    // One-bit icons are black and white whatever their colour table says.
    if (bitCount == 1) palette = {Rgba{0, 0, 0, 0}, Rgba{255, 255, 255, 0}};
    auto index = [&](Rgba c) {
        if (bitCount == 1) return c.r + c.g + c.b >= 384 ? 1u : 0u;
        auto it = std::find(palette.begin(), palette.end(), Rgba{c.r, c.g, c.b, 0});
        return it == palette.end() ? 0u : static_cast<unsigned>(it - palette.begin());
    };
    auto transparent = [&](Rgba c) { return bitCount == 32 ? c.a == 0 : c.a < 128; };

    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
    const std::size_t maskRow = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    Out o;
    o.u32(40);
    o.u32(static_cast<std::uint32_t>(width));
    o.u32(static_cast<std::uint32_t>(height * 2));
    o.u16(1);
    o.u16(bitCount);
    o.u32(0);
    o.u32(static_cast<std::uint32_t>((rowBytes + maskRow) * height));
    o.u32(0);
    o.u32(0);
    o.u32(0);
    o.u32(0);
    for (int i = 0; i < colours; ++i) {
        Rgba c = i < static_cast<int>(palette.size()) ? palette[i] : Rgba{};
        o.u8(c.b);
        o.u8(c.g);
        o.u8(c.r);
        o.u8(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            Rgba c = px[static_cast<std::size_t>(y) * width + x];
            switch (bitCount) {
                case 32:
                    row[4 * x] = c.b, row[4 * x + 1] = c.g, row[4 * x + 2] = c.r,
                            row[4 * x + 3] = c.a;
                    break;
                case 24:
                    row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
                    break;
                case 8:
                    row[x] = static_cast<std::uint8_t>(index(c));
                    break;
                case 4:
                    row[x / 2] |= static_cast<std::uint8_t>(index(c) << (x % 2 ? 0 : 4));
                    break;
                case 1:
                    row[x / 8] |= static_cast<std::uint8_t>((index(c) & 1) << (7 - x % 8));
                    break;
                default:
                    break;
            }
        }
        o.bytes(row);
    }
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskRow, 0);
        for (int x = 0; x < width; ++x)
            if (transparent(px[static_cast<std::size_t>(y) * width + x]))
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        o.bytes(row);
    }
    return {width, height, bitCount, std::move(o.b)};
}

IconImage MakeDibIcon(int width, int height, int bitCount, Rgba colour) {
    return MakeDibIcon(width, height, bitCount, [&](int, int) { return colour; });
}

IconImage MakePngIcon(int width, int height, const PixelFn& pixel) {
    std::vector<std::uint8_t> raw;
    raw.reserve((static_cast<std::size_t>(width) * 4 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            Rgba c = pixel(x, y);
            raw.insert(raw.end(), {c.r, c.g, c.b, c.a});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK)
        throw std::runtime_error("zlib failed");
    packed.resize(packedSize);

    Out ihdr;
    ihdr.be32(static_cast<std::uint32_t>(width));
    ihdr.be32(static_cast<std::uint32_t>(height));
    ihdr.b.insert(ihdr.b.end(), {8, 6, 0, 0, 0});
    Out o;
    o.b = {137, 80, 78, 71, 13, 10, 26, 10};
    PngChunk(o, "IHDR", ihdr.b);
    PngChunk(o, "IDAT", packed);
    PngChunk(o, "IEND", {});
    return {width, height, 32, std::move(o.b)};
}

IconImage MakePngIcon(int width, int height, Rgba colour) {
    return MakePngIcon(width, height, [&](int, int) { return colour; });
}

std::vector<std::uint8_t> BuildIcoFile(const std::vector<IconImage>& images) {
    Out o;
    o.u16(0);
    o.u16(1);
    o.u16(static_cast<unsigned>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (const IconImage& im : images) {
        o.u8(SizeByte(im.Width));
        o.u8(SizeByte(im.Height));
        o.u8(im.BitCount < 8 ? 1u << im.BitCount : 0);
        o.u8(0);
        o.u16(1);
        o.u16(static_cast<unsigned>(im.BitCount));
        o.u32(static_cast<std::uint32_t>(im.Bytes.size()));
        o.u32(static_cast<std::uint32_t>(offset));
        offset += im.Bytes.size();
    }
    for (const IconImage& im : images) o.bytes(im.Bytes);
    return std::move(o.b);
}

std::vector<std::uint8_t> BuildGroupDirectory(const std::vector<IconImage>& images,
                                              const std::vector<std::uint16_t>& ids) {
    Out o;
    o.u16(0);
    o.u16(1);
    o.u16(static_cast<unsigned>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& im = images[i];
        o.u8(SizeByte(im.Width));
        o.u8(SizeByte(im.Height));
        o.u8(im.BitCount < 8 ? 1u << im.BitCount : 0);
        o.u8(0);
        o.u16(1);
        o.u16(static_cast<unsigned>(im.BitCount));
        o.u32(static_cast<std::uint32_t>(im.Bytes.size()));
        o.u16(i < ids.size() ? ids[i] : 0);
    }
    return std::move(o.b);
}

void ResourceBuilder::Add(std::uint16_t type, std::uint32_t id, std::vector<std::uint8_t> data,
                          std::uint16_t language) {
    items_.push_back({type, id, {}, language, std::move(data)});
}

void ResourceBuilder::AddNamed(std::uint16_t type, std::string name,
                               std::vector<std::uint8_t> data) {
    items_.push_back({type, 0, std::move(name), 0x409, std::move(data)});
}

std::vector<std::uint16_t> ResourceBuilder::AddIcons(const std::vector<IconImage>& images) {
    std::vector<std::uint16_t> ids;
    for (const IconImage& im : images) {
        ids.push_back(nextIconId_);
        Add(kIconType, nextIconId_++, im.Bytes);
    }
    return ids;
}

std::vector<std::uint16_t> ResourceBuilder::AddIconGroup(std::uint32_t groupId,
                                                         const std::vector<IconImage>& images) {
    std::vector<std::uint16_t> ids = AddIcons(images);
    Add(kGroupType, groupId, BuildGroupDirectory(images, ids));
    return ids;
}

std::vector<std::uint16_t> ResourceBuilder::AddNamedIconGroup(
    std::string name, const std::vector<IconImage>& images) {
    std::vector<std::uint16_t> ids = AddIcons(images);
    AddNamed(kGroupType, std::move(name), BuildGroupDirectory(images, ids));
    return ids;
}

namespace {

struct NameNode {
    std::string Name;
    std::uint32_t Id = 0;
    std::vector<const void*> Languages;  // items, in directory order
};
struct TypeNode {
    std::uint16_t Type = 0;
    std::vector<NameNode> Names;
};

}  // namespace

std::vector<std::uint8_t> ResourceBuilder::BuildPe(bool pe32plus, PeLayout* layout) const {
    // Tree of types, names and languages.
    std::vector<TypeNode> types;
    for (const Item& it : items_) {
        auto t =
            std::find_if(types.begin(), types.end(), [&](auto& n) { return n.Type == it.Type; });
        if (t == types.end()) t = types.insert(types.end(), TypeNode{it.Type, {}});
        auto n = std::find_if(t->Names.begin(), t->Names.end(),
                              [&](auto& n) { return n.Name == it.Name && n.Id == it.Id; });
        if (n == t->Names.end()) n = t->Names.insert(t->Names.end(), NameNode{it.Name, it.Id, {}});
        n->Languages.push_back(&it);
    }
    auto lang = [](const void* p) { return static_cast<const Item*>(p)->Language; };
    if (SortEntries) {
        std::sort(types.begin(), types.end(), [](auto& a, auto& b) { return a.Type < b.Type; });
        for (TypeNode& t : types) {
            std::stable_sort(t.Names.begin(), t.Names.end(),
                             [](const NameNode& a, const NameNode& b) {
                                 if (a.Name.empty() != b.Name.empty()) return !a.Name.empty();
                                 if (!a.Name.empty()) return Upper(a.Name) < Upper(b.Name);
                                 return a.Id < b.Id;
                             });
            for (NameNode& n : t.Names)
                std::stable_sort(n.Languages.begin(), n.Languages.end(),
                                 [&](auto a, auto b) { return lang(a) < lang(b); });
        }
    }

    // Offsets inside the section: directories, data entries, name strings, data.
    std::uint32_t off = 16 + 8 * static_cast<std::uint32_t>(types.size());
    std::vector<std::uint32_t> nameDirs, langDirs, entries, strings, datas;
    for (const TypeNode& t : types) {
        nameDirs.push_back(off);
        off += 16 + 8 * static_cast<std::uint32_t>(t.Names.size());
    }
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names) {
            langDirs.push_back(off);
            off += 16 + 8 * static_cast<std::uint32_t>(n.Languages.size());
        }
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            for (std::size_t k = 0; k < n.Languages.size(); ++k) {
                entries.push_back(off);
                off += 16;
            }
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            if (!n.Name.empty()) {
                strings.push_back(off);
                off += 2 + 2 * static_cast<std::uint32_t>(n.Name.size());
            }
    off = static_cast<std::uint32_t>(AlignUp(off, 8));
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            for (const void* p : n.Languages) {
                datas.push_back(off);
                off += static_cast<std::uint32_t>(
                    AlignUp(static_cast<const Item*>(p)->Data.size(), 8));
            }
    const std::uint32_t rsrcSize = off;
    const std::uint32_t rva = 0x1000;
    const std::size_t rawAt = 0x400;

    Out s;
    auto dirHeader = [&](std::size_t named, std::size_t ids) {
        s.u32(0);
        s.u32(0);
        s.u16(0);
        s.u16(0);
        s.u16(static_cast<unsigned>(named));
        s.u16(static_cast<unsigned>(ids));
    };
    dirHeader(0, types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        s.u32(types[i].Type);
        s.u32(0x80000000u | nameDirs[i]);
    }
    std::size_t li = 0, si = 0;
    for (const TypeNode& t : types) {
        std::size_t named =
            std::count_if(t.Names.begin(), t.Names.end(), [](auto& n) { return !n.Name.empty(); });
        dirHeader(named, t.Names.size() - named);
        for (const NameNode& n : t.Names) {
            s.u32(n.Name.empty() ? n.Id : 0x80000000u | strings[si++]);
            s.u32(0x80000000u | langDirs[li++]);
        }
    }
    std::size_t ei = 0;
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names) {
            dirHeader(0, n.Languages.size());
            for (const void* p : n.Languages) {
                s.u32(lang(p));
                s.u32(entries[ei++]);
            }
        }
    std::size_t di = 0;
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            for (const void* p : n.Languages) {
                s.u32(rva + datas[di++]);
                s.u32(static_cast<std::uint32_t>(static_cast<const Item*>(p)->Data.size()));
                s.u32(0);
                s.u32(0);
            }
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            if (!n.Name.empty()) {
                s.u16(static_cast<unsigned>(n.Name.size()));
                for (char c : n.Name) s.u16(static_cast<unsigned char>(c));
            }
    s.align(8);
    for (const TypeNode& t : types)
        for (const NameNode& n : t.Names)
            for (const void* p : n.Languages) {
                s.bytes(static_cast<const Item*>(p)->Data);
                s.align(8);
            }

    if (layout) {
        *layout = {};
        layout->Resources = rawAt;
        std::size_t l = 0, e = 0, d = 0;
        for (std::size_t i = 0; i < types.size(); ++i) {
            layout->NameDirectory[types[i].Type] = nameDirs[i];
            for (const NameNode& n : types[i].Names) {
                auto key = std::make_pair(types[i].Type, n.Id);
                layout->LanguageDirectory.emplace(key, langDirs[l++]);
                layout->DataEntry.emplace(key, entries[e]);
                layout->Data.emplace(key, rawAt + datas[d]);
                e += n.Languages.size();
                d += n.Languages.size();
            }
        }
    }

    const std::uint32_t rawSize = static_cast<std::uint32_t>(AlignUp(rsrcSize, 0x200));
    Out o;
    o.text("MZ");
    o.padTo(0x3C);
    o.u32(0x40);
    o.text(std::string("PE\0\0", 4));
    o.u16(pe32plus ? 0x8664 : 0x14C);
    o.u16(1);
    o.u32(0);
    o.u32(0);
    o.u32(0);
    o.u16(pe32plus ? 240 : 224);
    o.u16(pe32plus ? 0x2022 : 0x2102);
    o.u16(pe32plus ? 0x20B : 0x10B);
    o.u8(14);
    o.u8(0);
    o.u32(0);        // code
    o.u32(rawSize);  // initialised data
    o.u32(0);
    o.u32(0);  // entry point
    o.u32(rva);
    if (pe32plus) {
        o.u64(0x180000000ull);
    } else {
        o.u32(0);
        o.u32(0x10000000u);
    }
    o.u32(0x1000);
    o.u32(0x200);
    o.u16(6), o.u16(0), o.u16(0), o.u16(0), o.u16(6), o.u16(0);
    o.u32(0);
    o.u32(rva + static_cast<std::uint32_t>(AlignUp(rsrcSize, 0x1000)));
    o.u32(static_cast<std::uint32_t>(rawAt));
    o.u32(0);
    o.u16(2);
    o.u16(0);
    for (int i = 0; i < 4; ++i) pe32plus ? o.u64(0x100000) : o.u32(0x100000);
    o.u32(0);
    o.u32(16);
    for (int i = 0; i < 16; ++i) {
        o.u32(i == 2 ? rva : 0);
        o.u32(i == 2 ? rsrcSize : 0);
    }
    o.text(std::string(".rsrc\0\0\0", 8));
    o.u32(rsrcSize);
    o.u32(rva);
    o.u32(rawSize);
    o.u32(static_cast<std::uint32_t>(rawAt));
    o.u32(0);
    o.u32(0);
    o.u16(0);
    o.u16(0);
    o.u32(0x40000040u);
    o.padTo(rawAt);
    o.bytes(s.b);
    o.padTo(rawAt + rawSize);
    return std::move(o.b);
}

std::vector<std::uint8_t> ResourceBuilder::BuildNe(NeLayout* layout) const {
    std::vector<std::uint16_t> typeOrder;
    for (const Item& it : items_)
        if (std::find(typeOrder.begin(), typeOrder.end(), it.Type) == typeOrder.end())
            typeOrder.push_back(it.Type);
    if (SortEntries) std::sort(typeOrder.begin(), typeOrder.end());
    std::vector<std::vector<const Item*>> byType;
    for (std::uint16_t t : typeOrder) {
        std::vector<const Item*> list;
        for (const Item& it : items_)
            if (it.Type == t) list.push_back(&it);
        if (SortEntries)
            std::stable_sort(list.begin(), list.end(), [](const Item* a, const Item* b) {
                if (a->Name.empty() != b->Name.empty()) return !a->Name.empty();
                return a->Name.empty() ? a->Id < b->Id : Upper(a->Name) < Upper(b->Name);
            });
        byType.push_back(std::move(list));
    }

    const std::size_t ne = 0x40, tableAt = 0x80;
    std::size_t tableSize = 2 + 2;
    std::size_t namesSize = 1;
    for (const auto& list : byType) {
        tableSize += 8 + 12 * list.size();
        for (const Item* it : list)
            if (!it->Name.empty()) namesSize += 1 + it->Name.size();
    }
    const std::size_t residentAt = tableAt + tableSize + namesSize;
    const std::string module = "GWTEST";
    const std::size_t residentSize = 1 + module.size() + 2 + 1;
    const std::size_t afterTables = residentAt + residentSize + 1 + 1 + 1;

    // The smallest alignment whose units can address every resource.
    unsigned shift = 4;
    for (;; ++shift) {
        const std::size_t unit = std::size_t{1} << shift;
        std::size_t end = AlignUp(afterTables, unit);
        for (const auto& list : byType)
            for (const Item* it : list) end += AlignUp(it->Data.size(), unit);
        if ((end >> shift) <= 0xFFFF) break;
    }
    const std::size_t unit = std::size_t{1} << shift;

    Out o;
    o.text("MZ");
    o.padTo(0x3C);
    o.u32(static_cast<std::uint32_t>(ne));
    o.padTo(ne);
    o.text("NE");
    o.u8(5);
    o.u8(10);
    const std::size_t entryAt = residentAt + residentSize + 1;
    o.u16(static_cast<unsigned>(entryAt - ne));
    o.u16(1);
    o.u32(0);
    o.u16(0x8001);
    o.padTo(ne + 0x20);
    o.u16(1);  // non-resident name table size
    o.u16(static_cast<unsigned>(tableAt - ne));
    o.u16(static_cast<unsigned>(tableAt - ne));
    o.u16(static_cast<unsigned>(residentAt - ne));
    o.u16(static_cast<unsigned>(residentAt + residentSize - ne));
    o.u16(static_cast<unsigned>(residentAt + residentSize - ne));
    o.u32(static_cast<std::uint32_t>(entryAt + 1));
    o.u16(0);
    o.u16(4);
    o.u16(0);
    o.u8(2);  // Windows
    o.padTo(ne + 0x3E);
    o.u16(0x030A);

    // Resource table, with data placed after all tables.
    o.u16(shift);
    std::size_t dataAt = AlignUp(afterTables, unit);
    std::size_t nameAt = tableAt + tableSize;
    std::vector<std::pair<const Item*, std::size_t>> placed;
    for (std::size_t t = 0; t < byType.size(); ++t) {
        o.u16(0x8000u | typeOrder[t]);
        o.u16(static_cast<unsigned>(byType[t].size()));
        o.u32(0);
        for (const Item* it : byType[t]) {
            if (layout) layout->NameInfo.emplace(std::make_pair(it->Type, it->Id), o.size());
            o.u16(static_cast<unsigned>(dataAt >> shift));
            o.u16(static_cast<unsigned>(AlignUp(it->Data.size(), unit) >> shift));
            o.u16(0x1C30);
            if (it->Name.empty()) {
                o.u16(0x8000u | it->Id);
            } else {
                o.u16(static_cast<unsigned>(nameAt - tableAt));
                nameAt += 1 + it->Name.size();
            }
            o.u16(0);
            o.u16(0);
            placed.emplace_back(it, dataAt);
            dataAt += AlignUp(it->Data.size(), unit);
        }
    }
    o.u16(0);
    for (const auto& list : byType)
        for (const Item* it : list)
            if (!it->Name.empty()) {
                o.u8(static_cast<unsigned>(it->Name.size()));
                o.text(it->Name);
            }
    o.u8(0);
    o.u8(static_cast<unsigned>(module.size()));
    o.text(module);
    o.u16(0);
    o.u8(0);  // end of resident names
    o.u8(0);  // imported names
    o.u8(0);  // entry table
    o.u8(0);  // non-resident names
    for (const auto& [it, at] : placed) {
        o.padTo(at);
        o.bytes(it->Data);
        if (layout) layout->Data.emplace(std::make_pair(it->Type, it->Id), at);
    }
    o.align(unit);
    if (layout) layout->ResourceTable = tableAt;
    return std::move(o.b);
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteWholeFile(path, bytes.data(), bytes.size());
}

}  // namespace gw::pefix
