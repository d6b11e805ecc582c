#pragma once
// A result's assembled file as the decoder module reads it.

#include "byte_source.hpp"
#include "recovery/assembled_file.hpp"

namespace tav::preview {

class AssembledBytes : public ByteSource {
  public:
    explicit AssembledBytes(const AssembledFile& file) : file_(file) {}
    std::int64_t size() const override { return file_.size(); }
    std::size_t read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        return file_.read(offset, buf);
    }

  private:
    const AssembledFile& file_;
};

}  // namespace tav::preview
