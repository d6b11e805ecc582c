#include "link_rotation.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace tav::app {

namespace {

using Section = std::map<std::string, std::string>;
using IniData = std::map<std::string, Section>;

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

IniData parse_ini(std::string_view text) {
    IniData data;
    std::string current;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            current = lower(trim(
                line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        auto& section = data[current];
        const std::string key = lower(trim(line.substr(0, eq)));
        // Like the platform's INI reader, the first occurrence of a key wins.
        section.emplace(key, std::string(trim(line.substr(eq + 1))));
    }
    return data;
}

std::string read_key(const IniData& data, const std::string& section, const std::string& key) {
    const auto s = data.find(lower(section));
    if (s == data.end()) return std::string(kMissingKey);
    const auto k = s->second.find(lower(key));
    return k == s->second.end() ? std::string(kMissingKey) : k->second;
}

}  // namespace

std::expected<LinkItems, std::string> ParseItemIni(std::string_view ini_text) {
    const IniData data = parse_ini(ini_text);
    const std::string cont = read_key(data, "common", "cont");
    if (cont == kMissingKey) return LinkItems{};

    std::size_t count = 0;
    const auto [ptr, ec] = std::from_chars(cont.data(), cont.data() + cont.size(), count);
    if (cont.empty() || ec != std::errc{} || ptr != cont.data() + cont.size())
        return std::unexpected("'" + cont + "' is not a valid integer value");

    LinkItems items;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string section = "Item" + std::to_string(i);
        // A missing section reads as "错误" everywhere and can never pass the
        // site check, so a huge count stops here instead of growing the lists.
        if (!data.contains(lower(section))) {
            items.names.emplace_back(kMissingKey);
            items.urls.emplace_back(kMissingKey);
            break;
        }
        items.names.push_back(read_key(data, section, "Name"));
        items.urls.push_back(read_key(data, section, "URL"));
    }
    return items;
}

bool SiteCheckPasses(const std::vector<std::string>& urls, std::string_view site_name) {
    if (urls.empty()) return false;
    constexpr std::size_t kPrefixLength = 11;  // "http://www."
    return std::all_of(urls.begin(), urls.end(), [&](const std::string& url) {
        return url.size() >= kPrefixLength + site_name.size() &&
               std::string_view(url).substr(kPrefixLength, site_name.size()) == site_name;
    });
}

bool LinkRotation::tick() {
    ++index_;
    if (index_ > count_) index_ = 0;
    return index_ < count_;
}

}  // namespace tav::app
