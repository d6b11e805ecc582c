#include "decoder_loader.hpp"

#include <cstdlib>
#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace tav::preview {

namespace {

#ifndef _WIN32
constexpr const char* kModuleName = "tavorine-mov-decoder.so";

std::vector<std::filesystem::path> Candidates() {
    std::vector<std::filesystem::path> out;
    if (const char* chosen = std::getenv("TAVORINE_DECODER"); chosen && *chosen)
        out.emplace_back(chosen);
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return out;
    out.push_back(self.parent_path() / kModuleName);
#ifdef TAVORINE_DECODER_RELDIR
    out.push_back(self.parent_path().parent_path() / TAVORINE_DECODER_RELDIR / kModuleName);
#endif
    return out;
}
#endif

std::expected<DecodeFunction, std::string> Load() {
#ifdef _WIN32
    return std::unexpected("no decoder module on this system");
#else
    std::string tried;
    for (const auto& path : Candidates()) {
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            tried += tried.empty() ? "" : "; ";
            tried += ::dlerror();
            continue;
        }
        void* entry = ::dlsym(module, "tavorine_mov_decoder");
        if (!entry) return std::unexpected(path.string() + ": no decoder entry");
        using Entry = void* (*)();
        return reinterpret_cast<DecodeFunction>(reinterpret_cast<Entry>(entry)());
    }
    return std::unexpected(tried.empty() ? std::string("decoder module not found") : tried);
#endif
}

}  // namespace

std::expected<DecodeFunction, std::string> LoadDecoder() {
    static const std::expected<DecodeFunction, std::string> loaded = Load();
    return loaded;
}

}  // namespace tav::preview
