#include "navigation/DropDownList.h"

#include <algorithm>

namespace morrowlen::nav {

namespace {
char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

bool listOrderLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(fold(x)) < static_cast<unsigned char>(fold(y));
    });
}

void MemoryList::addItem(const std::string& item) {
    auto pos =
        std::upper_bound(m_items.begin(), m_items.end(), item,
                         [](const std::string& a, const std::string& b) { return listOrderLess(a, b); });
    m_items.insert(pos, item);
}

void MemoryList::addItems(std::vector<std::string> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const std::string& a, const std::string& b) { return listOrderLess(a, b); });
    std::vector<std::string> merged;
    merged.reserve(m_items.size() + items.size());
    std::merge(std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()),
               std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()),
               std::back_inserter(merged),
               [](const std::string& a, const std::string& b) { return listOrderLess(a, b); });
    m_items = std::move(merged);
}

} // namespace morrowlen::nav
