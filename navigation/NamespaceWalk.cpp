#include "navigation/NamespaceWalk.h"

#include <exception>

namespace morrowlen::nav {

void EnumNameSpaces(DropDownList& combo1, const Locator& locator, const std::string& strNameSpace) {
    // The whole walk reads one snapshot (the outermost call holds it; inner ones find it held).
    const auto reads = locator.local().holdReads();
    combo1.addItem(strNameSpace);
    Services services = connectMoniker(locator, "winmgmts:\\\\.\\" + strNameSpace);
    std::vector<NamespaceInstance> children = services.InstancesOf("__NAMESPACE");
    // From here on a failing child is abandoned and the walk goes on with the next one.
    for (const NamespaceInstance& child : children) {
        try {
            EnumNameSpaces(combo1, locator, strNameSpace + "\\" + child.Name);
        } catch (const std::exception&) {
        }
    }
}

} // namespace morrowlen::nav
