// The example server the program brings: addresses, who answers, and what the viewer is given.
#include "GuiSupport.h"

#include "examples/ExamplePacks.h"
#include "examples/ExampleServer.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace morrowlen;
using morrowlen::test::MainWindowHarness;
using Outcome = examples::ExampleServer::Outcome;

namespace {

const QString Script = QStringLiteral(MORROWLEN_SOURCE_DIR "/scripts/serve-examples");
const QString Packs = QStringLiteral(MORROWLEN_SOURCE_DIR "/data/example-packs");
const QString NoScript = QStringLiteral("/examplemps/noscript/Korvane.2008.BIOS.xml");

// A port on the loopback address that nothing listens on just now.
std::uint16_t freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// A server started by the test: serve-examples with the given arguments, up once it says so.
class Server {
  public:
    bool start(const QStringList& arguments) {
        m_process.start(Script, arguments);
        QByteArray line;
        while (!line.contains('\n') && m_process.waitForReadyRead(10000))
            line += m_process.readAllStandardOutput();
        return line.startsWith("Serving");
    }
    ~Server() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

  private:
    QProcess m_process;
};

bool running(std::int64_t pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

QByteArray packFile() {
    QFile file(Packs + NoScript);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ExampleServerTest : public QObject {
    Q_OBJECT
  public:
    static void initMain() { test::prepareWebEngine(); }

  private slots:
    void initTestCase() { test::quietPlatformNotes(); }

    void addresses_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("host"); // empty: not a valid server
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("default") << "127.0.0.1:8642"
                                 << "127.0.0.1" << 8642 << true;
        QTest::newRow("no port") << "127.0.0.1"
                                 << "127.0.0.1" << 80 << true;
        QTest::newRow("other loopback") << "127.8.9.10:1"
                                        << "127.8.9.10" << 1 << true;
        QTest::newRow("localhost") << "LocalHost:8080"
                                   << "LocalHost" << 8080 << true;
        QTest::newRow("v6 loopback") << "[::1]:8642"
                                     << "::1" << 8642 << true;
        QTest::newRow("v6 other") << "[2001:db8::1]:80"
                                  << "2001:db8::1" << 80 << false;
        QTest::newRow("remote name") << "packs.example.org:8080"
                                     << "packs.example.org" << 8080 << false;
        QTest::newRow("all addresses") << "0.0.0.0:8642"
                                       << "0.0.0.0" << 8642 << false;
        QTest::newRow("looks local") << "127.example.org"
                                     << "127.example.org" << 80 << false;
        QTest::newRow("port 0") << "127.0.0.1:0"
                                << "" << 0 << false;
        QTest::newRow("port too big") << "127.0.0.1:65536"
                                      << "" << 0 << false;
        QTest::newRow("port not a number") << "127.0.0.1:80a"
                                           << "" << 0 << false;
        QTest::newRow("no host") << ":8642"
                                 << "" << 0 << false;
        QTest::newRow("open bracket") << "[::1:8642"
                                      << "" << 0 << false;
    }
    void addresses() {
        QFETCH(QString, server);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, loopback);
        const auto at = examples::splitServer(server.toStdString());
        QCOMPARE(at.has_value(), !host.isEmpty());
        if (!at) return;
        QCOMPARE(QString::fromStdString(at->host), host);
        QCOMPARE(int(at->port), port);
        QCOMPARE(examples::isLoopbackHost(at->host), loopback);
    }

    // Whoever answers on the configured address decides what the viewer is given.
    void viewerIsGivenThePackOrOurOwnPage_data() {
        QTest::addColumn<QString>("answering");
        QTest::addColumn<bool>("withProgram");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("nothing: ours is started") << "nothing" << true << Outcome::Ours;
        QTest::newRow("nothing, and no program") << "nothing" << false << Outcome::Unreachable;
        QTest::newRow("the launcher's server") << "known token" << true << Outcome::Ours;
        QTest::newRow("a server with another token") << "other token" << true << Outcome::Taken;
        QTest::newRow("a server without token") << "no token" << true << Outcome::Taken;
    }
    void viewerIsGivenThePackOrOurOwnPage() {
        QFETCH(QString, answering);
        QFETCH(bool, withProgram);
        QFETCH(Outcome, outcome);
        const QString address = QStringLiteral("127.0.0.1:%1").arg(freePort());
        QTemporaryDir foreign;
        QVERIFY(QDir().mkpath(foreign.filePath("examplemps/noscript")));
        QFile page(foreign.filePath("examplemps/noscript/Korvane.2008.BIOS.xml"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<p>FOREIGN CONTENT</p>");
        page.close();
        const QStringList bind = {"--bind", "127.0.0.1", "--port", address.section(':', 1)};
        Server server;
        if (answering == "known token")
            QVERIFY(server.start(bind + QStringList{"--token", "from-the-launcher"}));
        if (answering == "other token")
            QVERIFY(server.start(bind + QStringList{"--token", "x", "--root", foreign.path()}));
        if (answering == "no token") QVERIFY(server.start(bind + QStringList{"--root", foreign.path()}));

        MainWindowHarness h;
        h.exampleServer = address.toStdString();
        if (withProgram) h.exampleProgram = {Script.toStdString(), Packs.toStdString(), "from-the-launcher"};
        QVERIFY(h.start());
        h.window()->findChild<QAction*>("mnunoscript")->trigger();

        QCOMPARE(h.browsers.log().size(), std::size_t(1));
        const QString shown = h.browsers.log().front().address;
        const examples::ExampleServer* ours = h.window()->exampleServer();
        QVERIFY(ours);
        const std::int64_t pid = ours->processId();
        QCOMPARE(pid != 0, answering == "nothing" && withProgram);
        if (outcome == Outcome::Taken) {
            // Our own page, naming the address and the build setting; never the other server's.
            QCOMPARE(shown, QString::fromStdString((h.pages.path() / "ExampleServer.htm").string()));
            QFile file(shown);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromLatin1(file.readAll());
            QVERIFY2(text.contains("<b>" + address + "</b>") && text.contains("-DMORROWLEN_EXAMPLE_SERVER="),
                     qPrintable(text));
            QVERIFY(!text.contains("FOREIGN"));
        } else {
            QCOMPARE(shown, "http://" + address + NoScript);
        }
        if (outcome == Outcome::Ours) {
            const auto answer = examples::httpGet(*examples::splitServer(address.toStdString()),
                                                  NoScript.toStdString(), std::chrono::seconds(5));
            QVERIFY(answer);
            QCOMPARE(answer->status, 200);
            QCOMPARE(QByteArray::fromStdString(answer->body), packFile());
        }
        if (pid) {
            // Used again, the example is served by the same server; it ends with the window.
            h.window()->findChild<QAction*>("mnujscript")->trigger();
            QCOMPARE(h.window()->exampleServer()->processId(), pid);
            QVERIFY(running(pid));
            QPointer<shell::frmMain> w = h.window();
            w->close();
            QTRY_VERIFY(w.isNull());
            QVERIFY(!running(pid));
        }
        QVERIFY(h.errors.errors().empty());
    }

    void serverThatCannotListenIsReportedUnreachable() {
        // The port is held by a listener that never answers.
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr*>(&a), len), 0);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        QCOMPARE(::listen(s, 1), 0);
        examples::ExampleServer server(QStringLiteral("127.0.0.1:%1").arg(ntohs(a.sin_port)).toStdString(),
                                       {Script.toStdString(), Packs.toStdString(), {}});
        QElapsedTimer took;
        took.start();
        const Outcome outcome = server.prepare();
        ::close(s);
        QVERIFY2(took.elapsed() < 3500, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(outcome, Outcome::Unreachable);
    }
};

QTEST_MAIN(ExampleServerTest)
#include "tst_exampleserver.moc"
