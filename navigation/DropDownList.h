#pragma once
// The drop-down list as the program's logic uses it: a shown text that code may set freely, a
// sorted item list, the number of items and an enabled flag. Only a user's pick runs a pick
// handler; nothing done through this interface counts as a pick.
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::nav {

class DropDownList {
  public:
    virtual ~DropDownList() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual void clear() = 0;
    // Appends an item without a position: it takes its sorted place.
    virtual void addItem(const std::string& item) = 0;
    // Appends many items; the same result as adding them one by one, in one pass.
    virtual void addItems(std::vector<std::string> items) {
        for (const auto& item : items)
            addItem(item);
    }
    virtual int count() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

// The order of the lists: ascending, without regard to letter case (ASCII folding, so "*" and
// digits come before letters and an empty item comes first). Items equal but for case keep the
// order in which they were added.
bool listOrderLess(std::string_view a, std::string_view b);

// A plain in-memory list with the same behaviour as the window's lists.
class MemoryList : public DropDownList {
  public:
    std::string text() const override { return m_text; }
    void setText(const std::string& text) override { m_text = text; }
    void clear() override { m_items.clear(); }
    void addItem(const std::string& item) override;
    void addItems(std::vector<std::string> items) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    void setEnabled(bool enabled) override { m_enabled = enabled; }

    bool enabled() const { return m_enabled; }
    const std::vector<std::string>& items() const { return m_items; }

  private:
    std::string m_text;
    std::vector<std::string> m_items;
    bool m_enabled = true;
};

} // namespace morrowlen::nav
