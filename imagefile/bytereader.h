#pragma once
// The one reader for untrusted bytes: offsets are widened to 64 bits before they are checked,
// and a read past the end yields zeros and marks the reader as failed instead of overrunning.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace gw {

class ByteReader {
  public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::size_t size() const { return data_.size(); }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    std::span<const std::uint8_t> data() const { return data_; }
    // False once any read or seek went past the end; stays false.
    bool ok() const { return ok_; }

    // Moves to an absolute offset; beyond the end the reader fails and stays at the end.
    bool seek(std::uint64_t offset) {
        if (offset > data_.size()) {
            ok_ = false;
            pos_ = data_.size();
            return false;
        }
        pos_ = static_cast<std::size_t>(offset);
        return true;
    }
    bool skip(std::uint64_t n) {
        std::uint64_t target = n <= remaining() ? pos_ + n : ~std::uint64_t{0};
        return seek(target);
    }

    // True when n bytes are available at the absolute offset.
    bool has(std::uint64_t offset, std::uint64_t n) const {
        return offset <= data_.size() && n <= data_.size() - offset;
    }
    // n bytes at an absolute offset, or an empty span when they are not all there.
    std::span<const std::uint8_t> at(std::uint64_t offset, std::uint64_t n) const {
        if (!has(offset, n)) return {};
        return data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(n));
    }

    // Copies n bytes from the current position; on a short read copies nothing and fails.
    bool bytes(void* out, std::size_t n) {
        if (n > remaining()) {
            std::memset(out, 0, n);
            ok_ = false;
            pos_ = data_.size();
            return false;
        }
        if (n) std::memcpy(out, data_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    // The next n bytes as a view, or an empty span (and failure) when they are not all there.
    std::span<const std::uint8_t> take(std::uint64_t n) {
        if (n > remaining()) {
            ok_ = false;
            pos_ = data_.size();
            return {};
        }
        auto s = data_.subspan(pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return s;
    }

    std::uint8_t u8() {
        std::uint8_t v[1];
        bytes(v, 1);
        return v[0];
    }
    std::uint16_t u16le() {
        std::uint8_t v[2];
        bytes(v, 2);
        return static_cast<std::uint16_t>(v[0] | (v[1] << 8));
    }
    std::uint32_t u32le() {
        std::uint8_t v[4];
        bytes(v, 4);
        return v[0] | (v[1] << 8) | (v[2] << 16) | (static_cast<std::uint32_t>(v[3]) << 24);
    }
    std::uint64_t u64le() {
        std::uint64_t lo = u32le();
        return lo | (static_cast<std::uint64_t>(u32le()) << 32);
    }
    std::uint16_t u16be() {
        std::uint8_t v[2];
        bytes(v, 2);
        return static_cast<std::uint16_t>((v[0] << 8) | v[1]);
    }
    std::uint32_t u32be() {
        std::uint8_t v[4];
        bytes(v, 4);
        return (static_cast<std::uint32_t>(v[0]) << 24) | (v[1] << 16) | (v[2] << 8) | v[3];
    }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Up to size bytes at offset, cut at the end of the data; empty when offset is past it.
inline std::span<const std::uint8_t> ClampedSpan(std::span<const std::uint8_t> data,
                                                 std::uint64_t offset, std::uint64_t size) {
    if (offset >= data.size()) return {};
    return data.subspan(
        static_cast<std::size_t>(offset),
        static_cast<std::size_t>(std::min<std::uint64_t>(size, data.size() - offset)));
}

}  // namespace gw
