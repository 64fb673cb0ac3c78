#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace varnosk {

// The greedy pass shared by seeds merging, core seeds extraction and redundant MSP removal.
// The caller sorts `items` first (stably) so that the end of the list holds the element to
// examine next. While the list is not empty: the last element is taken off, every remaining
// element is tested in list order with matches(taken, element), the matching ones are moved
// out (in list order) and the others close ranks keeping their order; then
// on_taken(std::move(taken), matched) runs. on_taken may append to `items` (a merged group
// to examine next); `matched` is cleared after it returns, destroying owned elements.
template <typename Item, typename Matches, typename OnTaken>
void greedyPass(std::vector<Item>& items, Matches matches, OnTaken on_taken) {
    std::vector<Item> matched;
    while (!items.empty()) {
        Item taken = std::move(items.back());
        items.pop_back();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (matches(taken, items[i])) {
                matched.push_back(std::move(items[i]));
            } else {
                if (kept != i) items[kept] = std::move(items[i]);
                ++kept;
            }
        }
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
        on_taken(std::move(taken), matched);
        matched.clear();
    }
}

}  // namespace varnosk
