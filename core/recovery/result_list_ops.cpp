#include "recovery/result_list_ops.hpp"

#include <algorithm>
#include <vector>

namespace tav {

void TickAll(TextTable& results) {
    for (auto& row : results.rows()) row.checked = true;
}

void InvertTicks(TextTable& results) {
    for (auto& row : results.rows()) row.checked = !row.checked;
}

std::size_t CountTicked(const TextTable& results) {
    std::size_t n = 0;
    for (const auto& row : results.rows()) n += row.checked ? 1 : 0;
    return n;
}

void SortResultList(TextTable& results, std::size_t col) {
    // "Not an integer equals everything" is no strict weak order, so no
    // library sort may be handed this comparison. A merge sort needs nothing
    // of it: it only asks "is b before a?" and keeps a before b otherwise.
    auto& rows = results.rows();
    std::vector<TableRow> scratch(rows.size());
    for (std::size_t width = 1; width < rows.size(); width *= 2) {
        for (std::size_t lo = 0; lo < rows.size(); lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, rows.size());
            const std::size_t hi = std::min(lo + 2 * width, rows.size());
            std::size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi)
                scratch[out++] =
                    std::move(CompareOrder(rows[b], rows[a], col) < 0 ? rows[b++] : rows[a++]);
            while (a < mid) scratch[out++] = std::move(rows[a++]);
            while (b < hi) scratch[out++] = std::move(rows[b++]);
        }
        rows.swap(scratch);
    }
}

}  // namespace tav
