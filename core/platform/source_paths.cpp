// The Windows path forms and the disk-line parse, pure on every OS.

#include <cctype>

#include "platform/source_paths.hpp"

namespace tav {
namespace {

bool StartsWithDriveLetter(std::string_view text) {
    return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

}  // namespace

std::string Win32SourcePath(SourceKind kind, std::string_view text) {
    switch (kind) {
        case SourceKind::Volume:
            return "\\\\.\\" + std::string(text.substr(0, 2));
        case SourceKind::Disk:
            return "\\\\.\\PhysicalDrive" + std::string(text);
        case SourceKind::Image:
            break;
    }
    if (StartsWithDriveLetter(text)) return "\\\\.\\" + std::string(text);
    return std::string(text);
}

std::optional<int> DiskNumberOfLine(std::string_view label) {
    std::string_view rest;
    if (label.starts_with("RM  "))
        rest = label.substr(4);
    else if (label.starts_with("HDD"))
        rest = label.substr(3);
    else
        return std::nullopt;
    int number = 0;
    std::size_t digits = 0;
    for (; digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]));
         ++digits) {
        if (number > 99999) return std::nullopt;
        number = number * 10 + (rest[digits] - '0');
    }
    if (digits == 0 || digits >= rest.size() || rest[digits] != ':') return std::nullopt;
    return number;
}

}  // namespace tav
