#pragma once
#include "BrowserView.h"

#include <QWebEngineView>

namespace morrowlen::report {

class WebView : public QWebEngineView, public BrowserView {
    Q_OBJECT
  public:
    explicit WebView(QWidget* parent);
    void navigate(const std::string& address) override;
    QWidget* widget() override { return this; }
    void setScriptsEnabled(bool enabled) override;
};

} // namespace morrowlen::report
