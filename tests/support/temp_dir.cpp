#include "support/temp_dir.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tav::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavorine-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace tav::test
