#pragma once
// A read-only view over bytes that came from a medium or a file. Every getter
// checks that the whole field lies inside the view and answers std::nullopt
// otherwise; nothing can read past the end. The hot scan loop may use the
// load_* functions of byte_order.hpp directly, after one explicit length check.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/byte_order.hpp"

namespace tav {

class ByteView {
  public:
    ByteView() = default;
    ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    ByteView(std::span<const std::uint8_t> s) : data_(s.data()), size_(s.size()) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }
    bool empty() const { return size_ == 0; }

    // True when [offset, offset + length) lies inside the view (overflow-safe).
    bool has(std::size_t offset, std::size_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t off) const {
        if (!has(off, 1)) return std::nullopt;
        return data_[off];
    }
    std::optional<std::uint16_t> le16(std::size_t off) const { return get<2>(off, load_le16); }
    std::optional<std::uint32_t> le32(std::size_t off) const { return get<4>(off, load_le32); }
    std::optional<std::uint64_t> le64(std::size_t off) const { return get<8>(off, load_le64); }
    std::optional<std::uint16_t> be16(std::size_t off) const { return get<2>(off, load_be16); }
    std::optional<std::uint32_t> be32(std::size_t off) const { return get<4>(off, load_be32); }
    std::optional<std::uint64_t> be64(std::size_t off) const { return get<8>(off, load_be64); }

    // True when the bytes at off equal text exactly (false when out of range).
    bool matches(std::size_t off, std::string_view text) const {
        if (!has(off, text.size())) return false;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (data_[off + i] != static_cast<std::uint8_t>(text[i])) return false;
        return true;
    }

    // The sub-view [off, off + length), clipped to the view.
    ByteView sub(std::size_t off, std::size_t length = SIZE_MAX) const {
        if (off >= size_) return {};
        std::size_t n = size_ - off;
        if (length < n) n = length;
        return {data_ + off, n};
    }

  private:
    template <std::size_t N, typename T>
    std::optional<T> get(std::size_t off, T (*load)(const std::uint8_t*)) const {
        if (!has(off, N)) return std::nullopt;
        return load(data_ + off);
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tav
