#pragma once
// Replacing a small file so that a crash or a power cut at any moment
// leaves either the old contents or the new ones, never a mix: the bytes go
// to a temporary file beside it, are flushed to the disk, and the temporary
// file is renamed over the old one.

#include <expected>
#include <string>
#include <string_view>

namespace tav {

// path is UTF-8. The error is the system's text.
std::expected<void, std::string> ReplaceFileAtomically(const std::string& path,
                                                       std::string_view bytes);

// The file's bytes; an error text when it cannot be read.
std::expected<std::string, std::string> ReadWholeFile(const std::string& path);

// Removes the file and a temporary one left beside it; missing files are fine.
void RemoveFileAndTemporary(const std::string& path);

// The folder holding path (UTF-8), and removing a folder only when it is empty.
std::string FolderOf(const std::string& path);
void RemoveFolderIfEmpty(const std::string& folder);

// The temporary file ReplaceFileAtomically writes for path.
std::string TemporaryFileFor(const std::string& path);

}  // namespace tav
