#pragma once
// The two text values shared between the main window and the report windows for the whole run.
#include <string>

namespace Module2 {
// The namespace path last picked in the namespace list, exactly as the item reads.
inline std::string strCurrentNamespace;
// The full name of the class last picked: family prefix followed by the picked item.
inline std::string strClassName;
} // namespace Module2
