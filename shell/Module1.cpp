#include "Module1.h"

#include "Installation.h"
#include "examples/ExamplePacks.h"
#include "report/ProfilePage.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdlib>
#include <unistd.h>

using namespace morrowlen;

namespace Module1 {

namespace {

// The example server of the program: an installed one serves the packs beside it; one run from
// its build tree, those of the source tree.
examples::ServerProgram exampleProgram(const shell::Installation& installation) {
    examples::ServerProgram program;
    if (installation.installed) {
        program.script = installation.dataFolder / "serve-examples";
        program.root = installation.dataFolder / "example-packs";
    } else if (std::filesystem::exists(MORROWLEN_SOURCE_DIR "/scripts/serve-examples")) {
        program.script = MORROWLEN_SOURCE_DIR "/scripts/serve-examples";
        program.root = MORROWLEN_SOURCE_DIR "/data/example-packs";
    }
    // A launcher that serves the packs itself (scripts/run) tells the program its server's token.
    if (const char* token = std::getenv("MORROWLEN_EXAMPLE_TOKEN")) program.knownToken = token;
    return program;
}

} // namespace

void PrepareProcess() {
    // Qt WebEngine's sandbox cannot run as root; the browsers only show local pages and searches.
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void NameApplication() {
    QCoreApplication::setApplicationName("Morrowlen");
    QGuiApplication::setDesktopFileName("morrowlen");
}

bool OpenSession(Session& session) {
    shell::frmMain::Services& services = session.services;
    services.settings = new shell::QtSettingsStore;
    services.reportError = [](const Error& e) { shell::showErrorReport(nullptr, e); };
    services.browsers = report::createWebView;
    services.exampleServer = std::string(examples::exampleServer());
    bool ok = false;
    shell::runHandler(services.reportError, [&] {
        const std::filesystem::path programFolder = QCoreApplication::applicationDirPath().toStdString();
        const shell::Installation installation = shell::findInstallation(programFolder);
        const std::filesystem::path cache =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toStdString();
        // The page lies beside the program, as it always has; an installed program never writes
        // into a system folder and uses the cache folder.
        services.pageFolder = report::choosePageFolder(
            installation.installed ? std::filesystem::path() : programFolder, cache / "morrowlen");
        services.exampleProgram = exampleProgram(installation);
        session.store.emplace(repo::openRepositoryForReading(repo::defaultRepositoryPath(), true));
        session.locator.emplace(*session.store);
        ok = true;
    });
    return ok;
}

bool LoadMainWindow(const nav::Locator& locator, shell::frmMain::Services services) {
    auto report = services.reportError;
    mainWindow = new shell::frmMain(locator, std::move(services));
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    bool loaded = false;
    shell::runHandler(report, [&] {
        mainWindow->MDIForm_Load();
        loaded = true;
    });
    if (!loaded) {
        delete mainWindow.data();
        return false;
    }
    mainWindow->show();
    mainWindow->Combo(1)->setFocus();
    return true;
}

int Main(int argc, char** argv) {
    PrepareProcess();
    QApplication app(argc, argv);
    NameApplication();
    Session session;
    if (!OpenSession(session) || !LoadMainWindow(*session.locator, session.services)) return 1;
    const int status = app.exec();
    // The window, and the example server it may have started, go before the repository.
    delete mainWindow.data();
    return status;
}

} // namespace Module1
