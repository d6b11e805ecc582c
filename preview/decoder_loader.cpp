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

// The module's handle, or why it could not be loaded.
std::expected<void*, std::string> LoadModule() {
#ifdef _WIN32
    return std::unexpected("no decoder module on this system");
#else
    std::string tried;
    for (const auto& path : Candidates()) {
        if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        tried += tried.empty() ? "" : "; ";
        tried += ::dlerror();
    }
    return std::unexpected(tried.empty() ? std::string("decoder module not found") : tried);
#endif
}

// The function one of the module's entry symbols hands out.
template <class Function>
std::expected<Function, std::string> EntryOf(const char* symbol) {
    static const std::expected<void*, std::string> module = LoadModule();
    if (!module) return std::unexpected(module.error());
#ifdef _WIN32
    return std::unexpected(std::string("no decoder module on this system: ") + symbol);
#else
    void* entry = ::dlsym(*module, symbol);
    if (!entry) return std::unexpected(std::string("decoder module: no entry ") + symbol);
    using Entry = void* (*)();
    return reinterpret_cast<Function>(reinterpret_cast<Entry>(entry)());
#endif
}

}  // namespace

std::expected<DecodeFunction, std::string> LoadDecoder() {
    static const auto loaded = EntryOf<DecodeFunction>("tavorine_mov_decoder");
    return loaded;
}

std::expected<VerifyFunction, std::string> LoadVerifier() {
    static const auto loaded = EntryOf<VerifyFunction>("tavorine_mov_verifier");
    return loaded;
}

}  // namespace tav::preview
