#pragma once
#include "navigation/DropDownList.h"
#include "navigation/WmiOperations.h"

#include <string>

namespace morrowlen::nav {

inline constexpr const char* NamespacePlaceholder = "*To start the program select a namespace from here*";

// Appends strNameSpace and every namespace below it to the list, depth first. A child that
// cannot be opened is still listed; only its subtree is missing. Failures of the outermost
// namespace itself are thrown.
void EnumNameSpaces(DropDownList& combo1, const Locator& locator, const std::string& strNameSpace);

} // namespace morrowlen::nav
