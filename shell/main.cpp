// Morrowlen: a browser for the management repository of the local computer.
#include "Module1.h"
#include "navigation/ClassCatalogue.h"
#include "examples/ExamplePacks.h"
#include "report/ProfilePage.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"

#include <QApplication>
#include <QDir>
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
    std::filesystem::path pageFolder;
    bool ok = false;
    shell::runHandler(services.reportError, [&] {
        const std::filesystem::path cache =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toStdString();
        // The page lies beside the program, as it always has; an installed program (its bin folder
        // beside share/morrowlen) never writes into a system folder and uses the cache folder.
        const QDir programDir(QCoreApplication::applicationDirPath());
        const bool installed = QFileInfo::exists(programDir.filePath(QStringLiteral("../share/morrowlen")));
        services.pageFolder = report::choosePageFolder(installed ? std::filesystem::path() : std::filesystem::path(programDir.path().toStdString()),
                                                       cache / "morrowlen");
        pageFolder = services.pageFolder;
        store.emplace(repo::openOrCreateRepository(repo::defaultRepositoryPath()));
        locator.emplace(*store);
        ok = true;
    });
    if (!ok || !Module1::Main(*locator, std::move(services))) return 1;
    if (const char* probe = std::getenv("MORROWLEN_STARTUP_PROBE")) {
        // A measuring and checking aid for the benchmarks and the installation test: once the
        // shown window has been painted, say whether Qt WebEngine was loaded; given
        // "NAMESPACE|CLASS", then run the handlers of a pick of that namespace and class and say
        // where the page went; then end.
        QTimer::singleShot(0, &app, [probe, pageFolder] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            const bool loaded = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
            std::printf("shown; webengine %s\n", loaded ? "loaded" : "not loaded");
            const std::string pick(probe);
            const std::size_t bar = pick.find('|');
            shell::frmMain* w = Module1::mainWindow;
            if (bar != std::string::npos && w) {
                w->Combo(1)->setText(pick.substr(0, bar));
                w->Combo1_Click();
                if (auto item = nav::classifyClass(pick.substr(bar + 1))) {
                    w->Combo(item->list + 2)->setText(item->item);
                    void (shell::frmMain::*handlers[])() = {&shell::frmMain::Combo2_Click, &shell::frmMain::Combo3_Click,
                                                            &shell::frmMain::Combo4_Click, &shell::frmMain::Combo5_Click,
                                                            &shell::frmMain::Combo6_Click};
                    (w->*handlers[item->list])();
                }
                const auto page = pageFolder / report::PageFileName;
                std::printf("page %s %s\n", std::filesystem::exists(page) ? "written to" : "missing from", page.c_str());
            }
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
