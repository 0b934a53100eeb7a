#pragma once
#include "navigation/DropDownList.h"
#include "navigation/WmiOperations.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace morrowlen::nav {

inline constexpr const char* ClassPlaceholder = "*Select A Class*";

// The five class lists Combo2 .. Combo6, in that order.
using ClassLists = std::array<DropDownList*, 5>;

// Family prefixes of Combo2 .. Combo6; the last list's is empty.
inline constexpr std::array<std::string_view, 5> FamilyPrefixes = {"CIM_", "MSFT_", "Msft_", "Win32_", ""};

struct FamilyItem {
    int list;         // 0 .. 4 for Combo2 .. Combo6
    std::string item; // the name without its family prefix
};

// Which list a class goes to, and as what item; nullopt for a class that no list shows.
// A class belongs to a family only when it begins with the family's full prefix (case-sensitive),
// so that prefix plus item always gives the class's own name back. Win32_ names containing
// "Win32_Perf" are left out; a name without any family prefix and without "_" goes whole to the
// last list.
std::optional<FamilyItem> classifyClass(std::string_view name);

// The pick handler of the namespace list.
void Combo1_Click(DropDownList& combo1, const ClassLists& lists, const Locator& locator);

} // namespace morrowlen::nav
