#include "recovery/output_sink.hpp"

#include <filesystem>

namespace tav {

void FileSink::discard() {
    close();
    // The file is ours: create() made or emptied it, and links were removed.
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace tav
