#pragma once
// Resource directories of Windows executables and libraries: PE32 and PE32+ images and 16-bit
// NE images (icon libraries among them). Only integer resource types that the caller asks for
// are walked; every read is bounded by the file and by an overall entry budget.

#include <cstdint>
#include <span>
#include <vector>

namespace gw {

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtGroupIcon = 14;

enum class ExecutableFormat { Unknown, PE32, PE32Plus, NE };

enum class ResourceError {
    None,
    NotExecutable,  // no MZ header, or no PE or NE header behind it
    Malformed,      // headers cut short or pointing outside the file
    NoResources,    // a valid image without a resource directory
};

const char* ResourceErrorText(ResourceError error);

struct Resource {
    std::uint32_t Id = 0;  // integer identifier; 0 for a named resource
    bool Named = false;
    // The resource's bytes, cut at the end of the file; empty when its data entry is missing
    // or lies outside the file.
    std::span<const std::uint8_t> Data;
};

class ResourceTable {
  public:
    // Walks the resource directory of a PE or NE image and keeps the resources of the listed
    // integer types. On an error the table is empty.
    ResourceError Read(std::span<const std::uint8_t> file, std::span<const std::uint16_t> types);

    ExecutableFormat Format() const { return format_; }
    // Resources of one type in the order the directory lists them; empty for other types.
    const std::vector<Resource>& OfType(std::uint16_t type) const;
    // The first resource of the type with that integer identifier, or nullptr.
    const Resource* Find(std::uint16_t type, std::uint32_t id) const;
    // True when the walk stopped at the entry budget; what was found before it is kept.
    bool Truncated() const { return truncated_; }

  private:
    struct TypeList {
        std::uint16_t Type = 0;
        bool Seen = false;  // only the first directory entry of a type is walked
        std::vector<Resource> Items;
        std::vector<std::uint32_t> ById;  // indexes into Items, sorted by Id, named ones left out
    };

    void Clear();
    TypeList* Wanted(std::uint16_t type);
    void Index();
    ResourceError ReadPe(std::span<const std::uint8_t> file, std::uint64_t header);
    ResourceError ReadNe(std::span<const std::uint8_t> file, std::uint64_t header);
    bool Spend();

    ExecutableFormat format_ = ExecutableFormat::Unknown;
    std::vector<TypeList> lists_;
    std::uint32_t budget_ = 0;
    bool truncated_ = false;
};

}  // namespace gw
