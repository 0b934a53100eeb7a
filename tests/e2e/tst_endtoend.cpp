// The program end to end on a display, with the real web views: the report page as the browser
// shows it, a user at the keyboard, the example packs from a running example server, the
// placement under a real window manager, and a picture of the main window.
#include "GuiSupport.h"

#include "examples/Form5.h"
#include "navigation/ClassCatalogue.h"
#include "navigation/Module2.h"
#include "navigation/Twips.h"
#include "report/Form1.h"
#include "report/WebView.h"
#include "repository/file/DefaultSet.h"
#include "repository/file/RepositoryFile.h"
#include "shell/Module1.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWindow>

#include <fstream>

using namespace morrowlen;
using morrowlen::test::MainWindowHarness;

namespace {

constexpr int LoadTimeout = 30000;

// The embedded default repository in a new file, as the program creates it on a fresh machine.
repo::ClassStore defaultRepository(const std::filesystem::path& file) {
    repo::ClassStore store = repo::openOrCreateRepository(file.string());
    if (!store.findNamespace("root\\cimv2")) repo::compileDefaultSet(store);
    return store;
}

report::WebView* webView(report::BrowserView* browser) {
    return dynamic_cast<report::WebView*>(browser);
}

// The text the view shows, read again until it contains the needle or the time is up.
QString pageText(QWebEngineView* view, const QString& needle) {
    // Shared with the callback, which may still come after a wait has given up.
    auto text = std::make_shared<QString>();
    const auto readContainsNeedle = [&] {
        auto done = std::make_shared<bool>(false);
        view->page()->toPlainText([text, done](const QString& t) {
            *text = t;
            *done = true;
        });
        return QTest::qWaitFor([done] { return *done; }, 5000) && text->contains(needle);
    };
    if (!QTest::qWaitFor(readContainsNeedle, LoadTimeout))
        qWarning("the page never showed %s", qPrintable(needle));
    return *text;
}

// The example server, started on a free port as a launcher starts it (with a token the program is
// told); stopped with the object.
class ExampleServer {
  public:
    static constexpr const char* Token = "e2e-token";
    bool start() {
        m_process.setProgram(QStringLiteral(MORROWLEN_SOURCE_DIR "/scripts/serve-examples"));
        m_process.setArguments({"--port", "0", "--token", Token, "--root",
                                QStringLiteral(MORROWLEN_SOURCE_DIR "/data/example-packs")});
        m_process.start();
        if (!m_process.waitForStarted(10000)) return false;
        // "Serving DIR at http://HOST:PORT/"
        const QRegularExpression served(QStringLiteral("at http://([^/\\s]+)/"));
        QByteArray output;
        while (!output.contains('\n') && m_process.waitForReadyRead(10000))
            output += m_process.readAllStandardOutput();
        const auto match = served.match(QString::fromUtf8(output));
        if (!match.hasMatch()) return false;
        m_host = match.captured(1);
        return true;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    ~ExampleServer() { stop(); }
    QString host() const { return m_host; }

  private:
    QProcess m_process;
    QString m_host;
};

QByteArray fileBytes(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A user's own repository and settings in a temporary home, as the program finds them.
struct UserFiles {
    UserFiles() {
        qputenv("MORROWLEN_REPOSITORY", QByteArray::fromStdString(repository.string()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir / "config").string()));
        defaultRepository(repository);
        before = fileBytes(repository);
    }
    ~UserFiles() { qunsetenv("MORROWLEN_REPOSITORY"); }
    test::TempDir dir;
    std::filesystem::path repository = dir / "repository.sqlite";
    QByteArray before;
};

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
  public:
    static void initMain() { test::prepareWebEngine(); }

  private slots:
    void init() { Module2::strCurrentNamespace.clear(); }

    void reportPageShowsTheClassAndRunsNoScript() {
        test::TempDir dir;
        repo::ClassStore store = repo::openOrCreateRepository((dir / "repository.sqlite").string());
        const repo::NamespaceId ns = test::ensureNamespace(store, "root\\cimv2");
        store.putClass(
            ns, test::makeClass(
                    "Win32_Probe", "",
                    {test::property("Caption", repo::CimType::String,
                                    {test::stringQualifier("Description", "A short caption.")}),
                     test::property("Danger", repo::CimType::String,
                                    {test::stringQualifier(
                                        "Description", "Risky<script>document.title='scripted'</script>")}),
                     test::property("Accented", repo::CimType::UInt32,
                                    {test::stringQualifier("Description", "Caf\u00e9 \u03a9 sizes"),
                                     test::intQualifier("MaxLen", 260)})}));
        nav::Locator locator(store);
        Module2::strCurrentNamespace = "root\\cimv2";
        Module2::strClassName = "Win32_Probe";

        report::Form1 form(locator, report::createWebView, dir.path());
        form.show();
        form.Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        report::WebView* page = webView(form.WebBrowser(1));
        QVERIFY(page);
        QVERIFY(!page->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
        QVERIFY(
            webView(form.WebBrowser(3))->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));

        const QString text = pageText(page, "Win32_Probe - Properties");
        QCOMPARE(page->url(), QUrl::fromLocalFile(QString::fromStdString((dir / "Profile.htm").string())));
        QVERIFY2(text.contains("Win32_Probe - Properties"), qPrintable(text));
        for (const char* shown :
             {"Caption", "A short caption.", "Danger", "Accented", "uint32", "260", "Caf\u00e9 \u03a9 sizes"})
            QVERIFY2(text.contains(QString::fromUtf8(shown)), shown);
        // The script in the description is text on the page, and did not run.
        QVERIFY(text.contains("Risky<script>document.title='scripted'</script>"));
        QVERIFY(page->title() != "scripted");
        QCOMPARE(form.SSTab1()->currentIndex(), 0);
    }

    void keyboardFromNamespaceToReport() {
        test::TempDir dir;
        repo::ClassStore store = defaultRepository(dir / "repository.sqlite");
        MainWindowHarness h(&store);
        h.browserFactory = report::createWebView;
        QVERIFY(h.start());
        // A bare display has no window manager to activate the window, as a click would.
        h.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.window()));
        QTRY_COMPARE(test::focusedList(), QStringLiteral("Combo1"));

        for (int steps = 0; h.combo(1)->currentText() != "root\\cimv2" && steps < 10; ++steps)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(h.combo(1)->currentText(), QStringLiteral("root\\cimv2"));
        QCOMPARE(Module2::strCurrentNamespace, std::string("root\\cimv2"));

        // Tab goes round to the first class list in the keyboard order.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QString list = test::focusedList();
        QCOMPARE(list, QStringLiteral("Combo4"));
        QComboBox* combo = h.window()->findChild<QComboBox*>(list);
        QCOMPARE(combo->currentText(), QStringLiteral("*Select A Class*"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        const QString item = combo->currentText();
        QCOMPARE(QString::fromStdString(Module2::strClassName), "Msft_" + item);

        const auto subs = h.window()->mdiArea()->subWindowList();
        QCOMPARE(subs.size(), 1);
        auto* form = qobject_cast<report::Form1*>(subs.front()->widget());
        QVERIFY(form);
        const QString text = pageText(webView(form->WebBrowser(1)), "Msft_" + item + " - Properties");
        QVERIFY2(text.contains("Msft_" + item + " - Properties"), qPrintable(text.left(400)));
        QVERIFY(h.errors.errors().empty());
    }

    void exampleViewerShowsThePack_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("NoScript") << "mnunoscript";
        QTest::newRow("JScript") << "mnujscript";
        QTest::newRow("VBScript") << "mnuvbscript";
    }
    void exampleViewerShowsThePack() {
        QFETCH(QString, command);
        ExampleServer server;
        QVERIFY(server.start());
        MainWindowHarness h;
        h.browserFactory = report::createWebView;
        h.exampleServer = server.host().toStdString();
        h.exampleProgram.knownToken = ExampleServer::Token;
        QVERIFY(h.start());
        h.window()->findChild<QAction*>(command)->trigger();
        auto* viewer = qobject_cast<examples::Form5*>(h.window()->mdiArea()->activeSubWindow()->widget());
        QVERIFY(viewer);
        const QString text = pageText(webView(viewer->WebBrowser1()), "Korvane.2008.BIOS");
        QVERIFY2(text.contains("Korvane.2008.BIOS"), qPrintable(text.left(400)));
        QVERIFY(h.errors.errors().empty());
    }

    void exampleViewerWithTheServerStopped() {
        ExampleServer server;
        QVERIFY(server.start());
        const QString host = server.host();
        server.stop();
        MainWindowHarness h;
        h.browserFactory = report::createWebView;
        h.exampleServer = host.toStdString();
        QVERIFY(h.start());
        h.window()->findChild<QAction*>("mnujscript")->trigger();
        QCOMPARE(h.window()->mdiArea()->subWindowList().size(), 1);
        auto* view =
            webView(qobject_cast<examples::Form5*>(h.window()->mdiArea()->activeSubWindow()->widget())
                        ->WebBrowser1());
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), LoadTimeout);
        QCOMPARE(loaded.front().front().toBool(), false);
        QVERIFY(h.errors.errors().empty());
        // The program goes on.
        QVERIFY(test::pickWithMouse(h.combo(1), "root\\cimv2"));
        QVERIFY(h.combo(5)->isEnabled());
    }

    void placementUnderAWindowManager() {
        // openbox frames the window and reports its frame (_NET_FRAME_EXTENTS) once it has framed it.
        QTemporaryDir home;
        const QString ready = home.filePath("ready");
        QProcess wm;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_CACHE_HOME", home.filePath("cache"));
        wm.setProcessEnvironment(env);
        wm.start("openbox", {"--sm-disable", "--startup", "touch " + ready});
        if (!wm.waitForStarted(10000)) QSKIP("openbox cannot be started");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 15000);

        MainWindowHarness h;
        QVERIFY(h.start());
        QPointer<shell::frmMain> w = h.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_VERIFY_WITH_TIMEOUT(w->windowHandle()->frameMargins().top() > 0, 10000);
        const QRect designed(twipsToPixels(10), twipsToPixels(10), twipsToPixels(10920),
                             twipsToPixels(13275));
        QTRY_COMPARE_WITH_TIMEOUT(w->frameGeometry(), designed, 5000);
        // The title bar is on the screen, above the window's client area.
        const QMargins frame = w->windowHandle()->frameMargins();
        QCOMPARE(w->geometry().topLeft(), designed.topLeft() + QPoint(frame.left(), frame.top()));
        QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));

        w->findChild<QAction*>("mnuFileExit")->trigger();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(h.settings.value("MainLeft"), QStringLiteral("15"));
        QCOMPARE(h.settings.value("MainTop"), QStringLiteral("15"));
        QCOMPARE(h.settings.value("MainWidth"), QStringLiteral("10920"));
        QCOMPARE(h.settings.value("MainHeight"), QStringLiteral("13275"));
        wm.terminate();
        wm.waitForFinished(5000);
    }

    // "morrowlen vendor.mof": the file is compiled in memory and browsed; nothing on disk changes.
    void mofFileOpensInTheWindow() {
        UserFiles user;
        const auto mof = user.dir / "vendor.mof";
        std::ofstream(mof) << R"(#pragma namespace("\\\\.\\root")
instance of __Namespace { Name = "Vendor"; };
#pragma namespace("\\\\.\\root\\Vendor")
[Description("A widget of the vendor.")]
class VendorWidget {
  [Key, MaxLen(64), Description("The serial number stamped on the widget.")] string Serial;
  uint32 Speed;
};
)";
        Module1::Session session;
        shell::StartOptions options;
        options.mofFiles = {mof.string()};
        QVERIFY(Module1::OpenSession(session, options));
        QVERIFY(Module1::LoadMainWindow(*session.locator, session.services));
        QPointer<shell::frmMain> w = Module1::mainWindow.data();
        QVERIFY(QTest::qWaitForWindowExposed(w));

        QVERIFY(test::pickWithMouse(w->Combo(1), QStringLiteral("root\\Vendor")));
        QCOMPARE(Module2::strCurrentNamespace, std::string("root\\Vendor"));
        const auto item = nav::classifyClass("VendorWidget");
        QVERIFY(item);
        QVERIFY(test::pickWithMouse(w->Combo(item->list + 2), QString::fromStdString(item->item)));
        const auto subs = w->mdiArea()->subWindowList();
        QCOMPARE(subs.size(), 1);
        auto* form = qobject_cast<report::Form1*>(subs.front()->widget());
        QVERIFY(form);
        const QString text = pageText(webView(form->WebBrowser(1)), "VendorWidget - Properties");
        QVERIFY2(text.contains("VendorWidget - Properties"), qPrintable(text.left(400)));
        QVERIFY2(text.contains("The serial number stamped on the widget."), qPrintable(text.left(800)));

        w->close();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(fileBytes(user.repository), user.before);
    }

    // A MOF file with mistakes: one dialog lists them, no main window opens, the status is 3.
    void brokenMofShowsTheDiagnostics() {
        UserFiles user;
        const auto mof = user.dir / "broken.mof";
        std::ofstream(mof) << "class Broken {\n  string Name\n};\nclass Worse : Nowhere {};\n";
        QString shown;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != "CompileErrors") return;
            shown = modal->findChild<QPlainTextEdit*>("Diagnostics")->toPlainText();
            qobject_cast<QDialog*>(modal)->accept();
        });
        watch.start(50);
        Module1::Session session;
        shell::StartOptions options;
        options.mofFiles = {mof.string()};
        QVERIFY(!Module1::OpenSession(session, options));
        QCOMPARE(session.exitStatus, 3);
        QVERIFY(Module1::mainWindow.isNull());
        QVERIFY2(shown.contains("broken.mof:2:14: error: expected ';'"), qPrintable(shown));
        QVERIFY2(shown.contains("broken.mof:4:"), qPrintable(shown));
        QCOMPARE(fileBytes(user.repository), user.before);
    }

    void mainWindowScreenshot() {
        test::TempDir dir;
        repo::ClassStore store = defaultRepository(dir / "repository.sqlite");
        MainWindowHarness h(&store);
        h.browserFactory = report::createWebView;
        QVERIFY(h.start());
        QVERIFY(QTest::qWaitForWindowExposed(h.window()));
        QTest::qWait(200);
        const QString folder = QStringLiteral(MORROWLEN_ARTIFACTS_DIR);
        QVERIFY(QDir().mkpath(folder));
        const QImage shot = h.window()->grab().toImage();
        QVERIFY(shot.save(folder + "/main-window.png"));
        QCOMPARE(shot.size(), h.window()->size());
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
