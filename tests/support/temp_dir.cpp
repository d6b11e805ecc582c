#include "support/temp_dir.hpp"

#include <stdexcept>

namespace tav::test {

TempDir::TempDir() {
    if (!folder_.ok()) throw std::runtime_error("cannot create a temporary folder");
}

}  // namespace tav::test
