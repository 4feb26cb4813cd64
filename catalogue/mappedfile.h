#pragma once
// A regular file mapped read-only into memory for as long as the object lives.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace gw {

class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps the file; false for a missing file, a folder or anything else that is not a regular
    // file that can be read. An empty file opens with no bytes.
    bool Open(const std::string& path);
    void Close();

    bool IsOpen() const { return open_; }
    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool open_ = false;
};

}  // namespace gw
