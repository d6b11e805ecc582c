#pragma once
// The rotating link label of step 1: Item.ini parsing, the site check and the
// rotation index. No Qt, so the rules are testable on their own.

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tav::app {

struct LinkItems {
    std::vector<std::string> names;
    std::vector<std::string> urls;
};

// Text every missing key reads as.
inline constexpr std::string_view kMissingKey = "错误";

// Parses Item.ini text ([common] cont, [ItemN] Name/URL; section and key names
// compare case-insensitively). No cont gives no entries. A cont that is not a
// non-negative decimal number is an error whose text names the bad value.
std::expected<LinkItems, std::string> ParseItemIni(std::string_view ini_text);

// True when every address has the site name at characters 12..17 (1-based)
// and there is at least one address.
bool SiteCheckPasses(const std::vector<std::string>& urls, std::string_view site_name);

// The rotation index: ticks walk 1 .. n-1, hold one tick at n, then wrap to 0.
class LinkRotation {
  public:
    explicit LinkRotation(std::size_t count) : count_(count) {}

    // Advances one tick; returns true when the label should show entry index().
    bool tick();
    std::size_t index() const { return index_; }
    // Whether a click opens an address now.
    bool clickable() const { return index_ < count_; }

  private:
    std::size_t count_;
    std::size_t index_ = 0;
};

}  // namespace tav::app
