// Morrowlen: a browser for the management repository of the local computer.
#include "Module1.h"
#include "examples/ExamplePacks.h"
#include "report/ProfilePage.h"
#include "repository/Location.h"
#include "repository/mof/Bootstrap.h"

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace morrowlen;

int main(int argc, char** argv) {
    // Qt WebEngine's sandbox cannot run as root; the browsers only show local pages and searches.
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX")) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("Morrowlen");
    QGuiApplication::setDesktopFileName("morrowlen");

    shell::frmMain::Services services;
    services.settings = new shell::QtSettingsStore;
    services.reportError = [](const Error& e) { shell::showErrorReport(nullptr, e); };
    services.browsers = report::createWebView;
    services.exampleServer = std::string(examples::exampleServer());

    std::optional<repo::ClassStore> store;
    std::optional<nav::Locator> locator;
    bool ok = false;
    shell::runHandler(services.reportError, [&] {
        const std::filesystem::path cache =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toStdString();
        services.pageFolder = report::choosePageFolder(QCoreApplication::applicationDirPath().toStdString(),
                                                       cache / "morrowlen");
        store.emplace(mof::openOrCreateRepository(repo::defaultRepositoryPath()));
        locator.emplace(*store);
        ok = true;
    });
    if (!ok || !Module1::Main(*locator, std::move(services))) return 1;
    if (std::getenv("MORROWLEN_STARTUP_PROBE")) {
        // A measuring aid for the start-up benchmark: once the shown window has been painted, say
        // whether Qt WebEngine was loaded, and end.
        QTimer::singleShot(0, &app, [] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            const bool loaded = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
            std::printf("shown; webengine %s\n", loaded ? "loaded" : "not loaded");
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
