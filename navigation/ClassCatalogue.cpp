#include "navigation/ClassCatalogue.h"

#include "navigation/Module2.h"
#include "navigation/NamespaceWalk.h"

namespace morrowlen::nav {

std::optional<FamilyItem> classifyClass(std::string_view name) {
    for (int list = 0; list < 4; ++list) {
        std::string_view prefix = FamilyPrefixes[static_cast<std::size_t>(list)];
        if (!name.starts_with(prefix)) continue;
        if (list == 3 && name.find("Win32_Perf") != std::string_view::npos) return std::nullopt;
        return FamilyItem{list, std::string(name.substr(prefix.size()))};
    }
    if (name.find('_') == std::string_view::npos) return FamilyItem{4, std::string(name)};
    return std::nullopt;
}

void Combo1_Click(DropDownList& combo1, const ClassLists& lists, const Locator& locator) {
    if (combo1.text() == NamespacePlaceholder) return;
    for (DropDownList* list : lists)
        list->clear();
    for (DropDownList* list : lists)
        list->setText("");
    for (DropDownList* list : lists)
        list->setEnabled(false);

    Module2::strCurrentNamespace = combo1.text();

    std::vector<ClassItem> classes;
    {
        Services services = connectMoniker(locator, "Winmgmts:\\\\.\\" + Module2::strCurrentNamespace);
        classes = services.SubclassesOf();
    }
    // Each list is filled in one pass; the lists keep their items sorted all the same.
    std::array<std::vector<std::string>, 5> items;
    for (const ClassItem& cls : classes) {
        if (auto fi = classifyClass(cls.Path_.Class))
            items[static_cast<std::size_t>(fi->list)].push_back(std::move(fi->item));
    }
    for (std::size_t i = 0; i < lists.size(); ++i)
        if (!items[i].empty()) lists[i]->addItems(std::move(items[i]));

    for (std::size_t i = 0; i < lists.size(); ++i) {
        if (lists[i]->count() == 0) continue;
        lists[i]->addItem(ClassPlaceholder);
        lists[i]->setText(ClassPlaceholder);
        lists[i]->setEnabled(true);
    }
}

} // namespace morrowlen::nav
