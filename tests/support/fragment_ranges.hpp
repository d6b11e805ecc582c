#pragma once
// Fragment lists for CopyFragments and its readers, written as numbers.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>

#include "recovery/copy_fragments.hpp"

namespace tav::test {

// {start type, start offset, end offset} per fragment, in file order.
inline FragmentRanges Ranges(
    std::initializer_list<std::tuple<const char*, std::int64_t, std::int64_t>> fragments) {
    FragmentRanges r;
    for (const auto& [type, start, end] : fragments) {
        r.start_types.push_back(type);
        r.start_offsets.push_back(std::to_string(start));
        r.end_offsets.push_back(std::to_string(end));
    }
    return r;
}

}  // namespace tav::test
