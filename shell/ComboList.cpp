#include "ComboList.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QListView>
#include <QSignalBlocker>
#include <QStringListModel>

#include <algorithm>

namespace morrowlen::shell {

namespace {
// The same order as nav::listOrderLess, on UTF-16 text: ASCII letters folded to lower case.
bool itemLess(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}
} // namespace

ComboList::ComboList(QWidget* parent) : QComboBox(parent), m_model(new QStringListModel(this)) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setModel(m_model);
    if (auto* list = qobject_cast<QListView*>(view())) list->setUniformItemSizes(true);
    setMaxVisibleItems(20);
    // Finishing an edit (Enter, or the focus leaving) would pick the item that matches the typed text.
    disconnect(lineEdit(), SIGNAL(editingFinished()), this, nullptr);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { emit picked(); });
}

std::string ComboList::text() const {
    return lineEdit()->text().toStdString();
}

void ComboList::setText(const std::string& text) {
    showText(QString::fromStdString(text));
}

void ComboList::showText(const QString& text) {
    // The current item follows the shown text, so that the arrow keys and the drop-down start from
    // the item shown, as they do after a pick.
    QSignalBlocker block(this);
    setCurrentIndex(static_cast<int>(m_items.indexOf(text)));
    lineEdit()->setText(text);
}

void ComboList::setModelItems() {
    // Changing the items must not change the shown text, which only code and picks set.
    const QString shown = lineEdit()->text();
    QSignalBlocker block(this);
    m_model->setStringList(m_items);
    showText(shown);
}

void ComboList::clear() {
    m_items.clear();
    setModelItems();
}

void ComboList::addItem(const std::string& item) {
    const QString text = QString::fromStdString(item);
    auto pos = std::upper_bound(m_items.begin(), m_items.end(), text, itemLess);
    const int row = static_cast<int>(pos - m_items.begin());
    m_items.insert(pos, text);
    const QString shown = lineEdit()->text();
    // A current item keeps its place through the insertion; only without one (or in an empty list,
    // where the combo box picks the first row itself) is the shown text looked up again.
    const bool lookUp = currentIndex() < 0;
    QSignalBlocker block(this);
    m_model->insertRows(row, 1);
    m_model->setData(m_model->index(row), text);
    if (lookUp) showText(shown);
}

void ComboList::addItems(std::vector<std::string> items) {
    QStringList added;
    added.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items)
        added.push_back(QString::fromStdString(item));
    std::stable_sort(added.begin(), added.end(), itemLess);
    QStringList merged;
    merged.reserve(m_items.size() + added.size());
    std::merge(m_items.begin(), m_items.end(), added.begin(), added.end(), std::back_inserter(merged),
               itemLess);
    m_items = std::move(merged);
    setModelItems();
}

int ComboList::count() const {
    return static_cast<int>(m_items.size());
}

void ComboList::setEnabled(bool enabled) {
    QComboBox::setEnabled(enabled);
}

} // namespace morrowlen::shell
