#pragma once
// Clips of other cameras and phones for the lost-header tests.

#include <initializer_list>
#include <vector>

#include "cardgen/mov_builder.hpp"
#include "common/byte_order.hpp"

namespace tav::test {

using cardgen::Bytes;

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace tav::test
