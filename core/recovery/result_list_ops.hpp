#pragma once
// Step 4's list operations on the ResultList: tick all, invert, sort.

#include <cstddef>

#include "scan/scan_tables.hpp"

namespace tav {

void TickAll(TextTable& results);
void InvertTicks(TextTable& results);
std::size_t CountTicked(const TextTable& results);

// Ascending, stable, by the 64-bit value of column col (0 = 编号); a pair in
// which either cell is not an integer counts as equal. Only the ResultList is
// reordered; each row keeps its 编号, which finds its OutputTable row.
void SortResultList(TextTable& results, std::size_t col);

}  // namespace tav
