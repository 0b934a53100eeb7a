#include "ComboList.h"

#include <QAbstractItemView>
#include <QKeyEvent>
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
    lineEdit()->installEventFilter(this);
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { emit picked(); });
}

bool ComboList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) return true; // not a pick
    }
    return QComboBox::eventFilter(watched, event);
}

std::string ComboList::text() const { return lineEdit()->text().toStdString(); }

void ComboList::setText(const std::string& text) {
    QSignalBlocker block(this);
    lineEdit()->setText(QString::fromStdString(text));
}

void ComboList::setModelItems() {
    // Changing the items must not change the shown text, which only code and picks set.
    const QString shown = lineEdit()->text();
    QSignalBlocker block(this);
    m_model->setStringList(m_items);
    setCurrentIndex(-1);
    lineEdit()->setText(shown);
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
    QSignalBlocker block(this);
    m_model->insertRows(row, 1);
    m_model->setData(m_model->index(row), text);
    lineEdit()->setText(shown);
}

void ComboList::addItems(std::vector<std::string> items) {
    QStringList added;
    added.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items) added.push_back(QString::fromStdString(item));
    std::stable_sort(added.begin(), added.end(), itemLess);
    QStringList merged;
    merged.reserve(m_items.size() + added.size());
    std::merge(m_items.begin(), m_items.end(), added.begin(), added.end(), std::back_inserter(merged), itemLess);
    m_items = std::move(merged);
    setModelItems();
}

int ComboList::count() const { return static_cast<int>(m_items.size()); }

void ComboList::setEnabled(bool enabled) { QComboBox::setEnabled(enabled); }

} // namespace morrowlen::shell
