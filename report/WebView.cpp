#include "WebView.h"

#include <QUrl>
#include <QWebEngineSettings>

namespace morrowlen::report {

WebView::WebView(QWidget* parent) : QWebEngineView(parent) {}

void WebView::navigate(const std::string& address) {
    // An http address or a plain local path, as the program passes them.
    load(QUrl::fromUserInput(QString::fromStdString(address)));
}

void WebView::setScriptsEnabled(bool enabled) {
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, enabled);
}

BrowserView* createWebView(QWidget* parent) { return new WebView(parent); }

} // namespace morrowlen::report
