#include "navigation/ClassSelection.h"

#include "navigation/Module2.h"

namespace morrowlen::nav {

void classListClick(int own, const ClassLists& lists, const std::function<void()>& openReport) {
    DropDownList& list = *lists[static_cast<std::size_t>(own)];
    const std::string picked = list.text();
    if (picked == ClassPlaceholder) {
        for (int i = 0; i < static_cast<int>(lists.size()); ++i) {
            if (i == own || lists[static_cast<std::size_t>(i)]->count() == 0) continue;
            lists[static_cast<std::size_t>(i)]->setText(ClassPlaceholder);
            lists[static_cast<std::size_t>(i)]->setEnabled(true);
        }
        return;
    }
    Module2::strClassName = std::string(FamilyPrefixes[static_cast<std::size_t>(own)]) + picked;
    openReport();
    for (int i = 0; i < static_cast<int>(lists.size()); ++i)
        if (i != own) lists[static_cast<std::size_t>(i)]->setEnabled(false);
}

} // namespace morrowlen::nav
