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

} // namespace morrowlen::report

// The entry point the program looks up when it loads this library for its first report window.
extern "C" Q_DECL_EXPORT morrowlen::report::BrowserView* morrowlen_create_web_view(QWidget* parent) {
    return new morrowlen::report::WebView(parent);
}
