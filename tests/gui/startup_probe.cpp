// The program as it starts, with a probe for the benchmarks and the installation test: once the
// main window has been shown and painted, says whether Qt WebEngine was loaded; then, as asked,
// picks a class and says where the page went, uses an example command and says what the viewer
// loaded and which server answered; then ends, or stays until it is killed.
//
//   morrowlen-probe [--pick 'NAMESPACE|CLASS'] [--example MENU_ITEM] [--example-server HOST:PORT] [--stay]
#include "examples/Form5.h"
#include "navigation/ClassCatalogue.h"
#include "report/ProfilePage.h"
#include "shell/Module1.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

using namespace morrowlen;

namespace {

struct Request {
    std::string pick, example, exampleServer;
    bool stay = false;
};

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void pickClass(shell::frmMain* w, const std::string& pick, const std::filesystem::path& pageFolder) {
    const std::size_t bar = pick.find('|');
    if (bar == std::string::npos) return;
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
    say(std::string("page ") + (std::filesystem::exists(page) ? "written to " : "missing from ") +
        page.string());
}

} // namespace

// Waits for the example viewer's browser (Qt WebEngine, reached through its meta-object so that
// the probe itself does not load it) and reports what it loaded.
class ExampleWatch : public QObject {
    Q_OBJECT
  public:
    ExampleWatch(QWidget* browser, std::function<void()> done)
        : QObject(browser), m_browser(browser), m_done(std::move(done)) {
        connect(browser, SIGNAL(loadFinished(bool)), this, SLOT(loaded(bool)));
        QTimer::singleShot(30000, this, [this] { finish("example timed out "); });
    }

  public slots:
    void loaded(bool ok) { finish(ok ? "example loaded " : "example failed "); }

  private:
    void finish(const char* what) {
        if (!m_done) return;
        say(what + m_browser->property("url").toUrl().toString().toStdString());
        std::exchange(m_done, {})();
    }

    QWidget* m_browser;
    std::function<void()> m_done;
};

int main(int argc, char** argv) {
    Module1::PrepareProcess();
    QApplication app(argc, argv);
    Module1::NameApplication();
    Request request;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const std::string next = i + 1 < args.size() ? args[i + 1].toStdString() : std::string();
        if (a == "--stay")
            request.stay = true;
        else if (a == "--pick" && i + 1 < args.size())
            request.pick = next, ++i;
        else if (a == "--example" && i + 1 < args.size())
            request.example = next, ++i;
        else if (a == "--example-server" && i + 1 < args.size())
            request.exampleServer = next, ++i;
        else {
            std::fprintf(stderr, "morrowlen-probe: unknown argument %s\n", qPrintable(a));
            return 2;
        }
    }

    Module1::Session session;
    if (!Module1::OpenSession(session)) return 1;
    if (!request.exampleServer.empty()) session.services.exampleServer = request.exampleServer;
    if (!Module1::LoadMainWindow(*session.locator, session.services)) return 1;

    const auto end = [&request] {
        if (!request.stay) {
            QCoreApplication::quit();
            return;
        }
        say("pid " + std::to_string(::getpid()) + "; staying");
    };
    QTimer::singleShot(0, &app, [&] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        const bool loaded = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
        say(std::string("shown; webengine ") + (loaded ? "loaded" : "not loaded"));
        shell::frmMain* w = Module1::mainWindow;
        if (!request.pick.empty()) pickClass(w, request.pick, session.services.pageFolder);
        if (request.example.empty()) return end();
        auto* command = w->findChild<QAction*>(QString::fromStdString(request.example));
        if (!command) {
            say("no command " + request.example);
            return end();
        }
        command->trigger();
        const examples::ExampleServer* server = w->exampleServer();
        say("example server pid " + std::to_string(server ? server->processId() : 0));
        QMdiSubWindow* sub = w->mdiArea()->activeSubWindow();
        auto* viewer = sub ? qobject_cast<examples::Form5*>(sub->widget()) : nullptr;
        if (!viewer) {
            say("no viewer");
            return end();
        }
        new ExampleWatch(viewer->WebBrowser1()->widget(), end);
    });
    const int status = app.exec();
    delete Module1::mainWindow.data();
    return status;
}

#include "startup_probe.moc"
