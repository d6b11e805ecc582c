#pragma once
// The label a volume carries in its own structures, for listing volumes
// without outside tools: the FAT boot sector's label field, or NTFS's
// $Volume name. Empty when there is none or it cannot be read.

#include <string>

#include "common/byte_view.hpp"
#include "platform/source_reader.hpp"

namespace tav {

// FAT32 and FAT16 boot sectors (pure). "NO NAME" counts as no label.
std::string FatBootLabel(ByteView sector0);

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(ByteView text);

std::string ReadVolumeLabel(const SourceReader& source);

}  // namespace tav
