#include "BrowserView.h"

#include "repository/core/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace morrowlen::report {

namespace {

using CreateFunction = BrowserView* (*)(QWidget*);

CreateFunction loadWebView() {
    // Installed beside the program's own library folder; in a build tree, where the build put it.
    const QStringList candidates = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(MORROWLEN_WEBVIEW_INSTALLED)),
        QStringLiteral(MORROWLEN_WEBVIEW_BUILT),
    };
    QString problems;
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path)) continue;
        QLibrary library(path);
        if (!library.load()) {
            problems += QLatin1Char('\n') + library.errorString();
            continue;
        }
        if (auto create = reinterpret_cast<CreateFunction>(library.resolve("morrowlen_create_web_view")))
            return create;
        problems += QLatin1Char('\n') + library.errorString();
    }
    throw Error(wbem::Failed,
                "The web view cannot be loaded: " +
                    (problems.isEmpty()
                         ? std::string("libmorrowlen-webview.so was not found beside the program")
                         : problems.trimmed().toStdString()));
}

} // namespace

BrowserView* createWebView(QWidget* parent) {
    static CreateFunction create = loadWebView();
    return create(parent);
}

} // namespace morrowlen::report
