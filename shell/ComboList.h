#pragma once
// A drop-down combo box with an editable field whose items are kept sorted. Only a user's pick
// from the drop-down (mouse or arrow keys) emits picked(); typing and Enter never do, and
// nothing that code does through the list interface does either.
#include "navigation/DropDownList.h"

#include <QComboBox>
#include <QStringList>

class QStringListModel;

namespace morrowlen::shell {

class ComboList : public QComboBox, public nav::DropDownList {
    Q_OBJECT
  public:
    explicit ComboList(QWidget* parent = nullptr);

    std::string text() const override;
    void setText(const std::string& text) override;
    void clear() override;
    void addItem(const std::string& item) override;
    void addItems(std::vector<std::string> items) override;
    int count() const override;
    void setEnabled(bool enabled) override;

    QStringList items() const { return m_items; }

  signals:
    void picked();

  private:
    void setModelItems();
    void showText(const QString& text);
    QStringListModel* m_model;
    QStringList m_items;
};

} // namespace morrowlen::shell
