#include "Module1.h"

#include "Installation.h"
#include "PrivateRepository.h"
#include "examples/ExamplePacks.h"
#include "report/ProfilePage.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <iostream>
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

// The repository the session browses; empty (with the status set) when the program must end.
std::optional<repo::ClassStore> openRepository(Session& session, const shell::StartOptions& options) {
    if (options.mofFiles.empty()) {
        // Only the default location is created on first use: a mistyped --repository is an error.
        return repo::openRepositoryForReading(
            options.repository ? *options.repository : repo::defaultRepositoryPath(), !options.repository);
    }
    shell::PrivateRepository compiled = shell::compilePrivateRepository(options);
    for (const std::string& line : compiled.diagnostics)
        std::cerr << line << '\n';
    if (!compiled.store) {
        shell::showCompileErrors(nullptr, compiled.errors, compiled.warnings, compiled.diagnostics);
        session.exitStatus = shell::CompileFailed;
    }
    return std::move(compiled.store);
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

bool OpenSession(Session& session, const shell::StartOptions& options) {
    session.exitStatus = 1;
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
        session.store = openRepository(session, options);
        if (!session.store) return;
        session.locator.emplace(*session.store);
        session.exitStatus = 0;
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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const shell::CommandLine commandLine = shell::parseCommandLine(arguments);
    std::cout << commandLine.output << std::flush;
    std::cerr << commandLine.error;
    if (!commandLine.options) return commandLine.exitStatus;
    PrepareProcess();
    QApplication app(argc, argv);
    NameApplication();
    Session session;
    if (!OpenSession(session, *commandLine.options)) return session.exitStatus;
    if (!LoadMainWindow(*session.locator, session.services)) return 1;
    const int status = app.exec();
    // The window, and the example server it may have started, go before the repository.
    delete mainWindow.data();
    return status;
}

} // namespace Module1
