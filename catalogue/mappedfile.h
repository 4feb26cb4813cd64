#pragma once
// A regular file's bytes, read into memory when it is opened and kept for as long as the object
// lives. The bytes are a copy, so a file that is truncated or rewritten meanwhile cannot fault
// the reader (a shared mapping raises SIGBUS on pages past a new end).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace gw {

class MappedFile {
  public:
    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept = default;
    MappedFile& operator=(MappedFile&& other) noexcept = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Reads the file; false for a missing file, a folder or anything else that is not a regular
    // file that can be read. An empty file opens with no bytes; a file that shrinks while it is
    // read keeps the bytes that were there.
    bool Open(const std::string& path);
    void Close();

    bool IsOpen() const { return open_; }
    std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

  private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    bool open_ = false;
};

}  // namespace gw
