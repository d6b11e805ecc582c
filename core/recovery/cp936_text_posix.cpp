#include "recovery/cp936_text.hpp"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tav {

namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view text) {
    iconv_t cd = ::iconv_open(to, from);
    // iconv_open's failure value is (iconv_t)-1.
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;  // NOLINT(performance-no-int-to-ptr)
    std::string out;
    std::vector<char> chunk(4096);
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    bool ok = true;
    while (in_left > 0) {
        char* dst = chunk.data();
        std::size_t dst_left = chunk.size();
        const std::size_t rc = ::iconv(cd, &in, &in_left, &dst, &dst_left);
        out.append(chunk.data(), chunk.size() - dst_left);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;  // EILSEQ or EINVAL: unconvertible or cut-off sequence
            break;
        }
    }
    ::iconv_close(cd);
    if (!ok) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp936(std::string_view utf8) {
    return Convert("CP936", "UTF-8", utf8);
}

std::optional<std::string> Cp936ToUtf8(std::string_view cp936) {
    return Convert("UTF-8", "CP936", cp936);
}

}  // namespace tav
