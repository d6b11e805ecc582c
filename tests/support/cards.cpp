#include "support/cards.hpp"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

#include "cardgen/card.hpp"
#include "support/card_images.hpp"

namespace tav::test {

namespace fs = std::filesystem;

// A finished image: its manifest is written last, so it parses and names a
// file of the recorded size. A manifest without the container keys came from
// an older generator and is made again (the camera images come out the same).
bool LoadExistingCard(Card& card) {
    std::ifstream in(cardgen::ManifestPathFor(card.image), std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    const bool has_files = text.str().find("{\"name\": ") != std::string::npos;
    if (has_files && text.str().find("\"brand\": ") == std::string::npos) return false;
    auto manifest = cardgen::ManifestFromJson(text.str());
    std::error_code ec;
    if (!manifest ||
        fs::file_size(card.image, ec) != static_cast<std::uintmax_t>(manifest->image_size))
        return false;
    card.manifest = std::move(*manifest);
    return true;
}

namespace {

Card MakeCard(const std::string& kind, const std::string& clips) {
    Card card;
    const fs::path folder =
        fs::path(TAV_TESTDATA_DIR) / ("cards-v" + std::to_string(cardgen::kCardLayoutVersion));
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string stem = clips == "camera" ? kind : kind + "-" + clips + "-clips";
    card.image = folder / (stem + ".img");
    ObtainCardImage(card, kind, clips);
    return card;
}

}  // namespace

std::vector<cardgen::ManifestFile> Card::with_state(std::string_view state) const {
    std::vector<cardgen::ManifestFile> out;
    for (const auto& f : manifest.files)
        if (f.state == state) out.push_back(f);
    return out;
}

std::vector<std::uint8_t> Card::fragment_bytes(const cardgen::ManifestFile& file) const {
    std::vector<std::uint8_t> out;
    std::ifstream in(image, std::ios::binary);
    for (const cardgen::Fragment& f : file.fragments) {
        if (f.offset < 0 || f.length < 0) return {};
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(f.length));
        in.seekg(f.offset);
        if (!in.read(reinterpret_cast<char*>(out.data() + at), f.length)) return {};
    }
    return out;
}

fs::path TestClipCache() {
    return fs::path(TAV_TESTDATA_DIR) / "clips";
}

const Card& GetCard(const std::string& kind, const std::string& clips) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, std::string>, Card> cards;
    const std::lock_guard guard(mutex);
    const auto key = std::make_pair(kind, clips);
    auto it = cards.find(key);
    if (it == cards.end()) it = cards.emplace(key, MakeCard(kind, clips)).first;
    return it->second;
}

}  // namespace tav::test
