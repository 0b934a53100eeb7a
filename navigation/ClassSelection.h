#pragma once
#include "navigation/ClassCatalogue.h"

#include <functional>

namespace morrowlen::nav {

// The pick handler of class list `own` (0 .. 4 for Combo2 .. Combo6). A class pick sets
// strClassName, then calls openReport (which creates, loads and shows a new report window), then
// locks the other lists; a pick of the placeholder unlocks the other lists that hold classes.
void classListClick(int own, const ClassLists& lists, const std::function<void()>& openReport);

} // namespace morrowlen::nav
