// The windows that open inside the main window: the report window Form1 and the example viewer
// Form5; and how an error that escapes a handler is reported.
#include "GuiSupport.h"

#include "examples/Form5.h"
#include "navigation/Twips.h"
#include "report/Form1.h"
#include "report/SearchAddresses.h"
#include "shell/ErrorReport.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTabBar>
#include <QTest>

#include <new>
#include <stdexcept>

using namespace morrowlen;
using morrowlen::test::MainWindowHarness;

namespace {

QSize twipsSize(int width, int height) {
    return {twipsToPixels(width), twipsToPixels(height)};
}

QList<QMdiSubWindow*> subWindows(const MainWindowHarness& h) {
    return h.window()->mdiArea()->subWindowList(QMdiArea::CreationOrder);
}

} // namespace

class ChildWindowsTest : public QObject {
    Q_OBJECT
  public:
    static void initMain() { test::prepareWebEngine(); }

  private slots:
    void initTestCase() { test::quietPlatformNotes(); }
    void init() {
        m_h = std::make_unique<MainWindowHarness>();
        QVERIFY(m_h->start());
        QVERIFY(QTest::qWaitForWindowExposed(m_h->window()));
    }
    void cleanup() { m_h.reset(); }

    // --- the report window

    void reportWindowLayout() {
        report::Form1* form = openReport("BIOS");
        QVERIFY(form);
        QCOMPARE(form->size(), twipsSize(10695, 9600));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QTabWidget* tabs = form->SSTab1();
        QCOMPARE(tabs->objectName(), QStringLiteral("SSTab1"));
        QCOMPARE(tabs->geometry(), QRect(QPoint(0, 0), twipsSize(10695, 9615)));
        const QStringList captions = {"HTML View", "MSDN Search", "Google Search", "Live Search",
                                      "Yahoo Search"};
        QCOMPARE(tabs->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tabs->tabText(i), captions[i]);
            tabs->setCurrentIndex(i);
            for (int n = 1; n <= 5; ++n) {
                QWidget* browser = form->WebBrowser(n)->widget();
                QCOMPARE(browser->objectName(), QStringLiteral("WebBrowser%1").arg(n));
                QCOMPARE(browser->isVisible(), n == i + 1);
            }
            QWidget* shown = form->WebBrowser(i + 1)->widget();
            // Placed relative to the tab control, below its row of tabs, which it does not cover.
            QCOMPARE(shown->mapTo(tabs, QPoint(0, 0)), QPoint(twipsToPixels(120), twipsToPixels(360)));
            QCOMPARE(shown->size(), twipsSize(10455, 9135));
            QVERIFY(tabs->rect().contains(QRect(shown->mapTo(tabs, QPoint(0, 0)), shown->size())));
            // The tabs stay uncovered, but for the strip where the style lets them overlap the pages.
            const int overlap = tabs->style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, tabs);
            QVERIFY(tabs->tabBar()->geometry().bottom() - overlap < twipsToPixels(360));
        }
    }

    void reportWindowIsPlacedAndCannotBeResized() {
        report::Form1* form = openReport("BIOS");
        QMdiSubWindow* sub = subWindows(*m_h).front();
        QCOMPARE(sub->pos(), QPoint(twipsToPixels(10), twipsToPixels(1100)));
        QCOMPARE(form->topTwips(), 1100);
        QCOMPARE(form->leftTwips(), 10);
        const QSize before = sub->size();
        sub->resize(before + QSize(120, 90));
        QCOMPARE(sub->size(), before);
        QCOMPARE(form->size(), twipsSize(10695, 9600));
        // Minimizing still shrinks it to its title; restoring gives the fixed size back.
        sub->showMinimized();
        QTRY_VERIFY(sub->height() < before.height() / 4);
        sub->showNormal();
        QTRY_COMPARE(sub->size(), before);
        QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void reportKeyboardOrderRunsFromTheTabsThroughTheBrowsers() {
        report::Form1* form = openReport("BIOS");
        QStringList order;
        QWidget* w = form->SSTab1();
        for (int guard = 0; guard < 200 && order.size() < 5; ++guard) {
            w = w->nextInFocusChain();
            if (w->objectName().startsWith("WebBrowser")) order.push_back(w->objectName());
        }
        QCOMPARE(order,
                 QStringList({"WebBrowser1", "WebBrowser2", "WebBrowser3", "WebBrowser4", "WebBrowser5"}));
    }

    void reportLoadStartsTheSearchesThenShowsThePage() {
        m_h->browsers.clear();
        report::Form1* form = openReport("BIOS");
        const auto& log = m_h->browsers.log();
        const auto searches = report::searchAddresses("Win32_BIOS");
        QCOMPARE(log.size(), std::size_t(5));
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(log[i].browser, QStringLiteral("WebBrowser%1").arg(i + 2));
            QCOMPARE(log[i].address, QString::fromStdString(searches[i]));
        }
        QCOMPARE(log[4].browser, QStringLiteral("WebBrowser1"));
        QCOMPARE(log[4].address, QString::fromStdString(m_h->pagePath().string()));
        for (int n = 1; n <= 5; ++n)
            QCOMPARE(static_cast<test::RecordingBrowser*>(form->WebBrowser(n))->scriptsEnabled(), n != 1);
    }

    void newReportOpensOnTheFirstTabWhateverTheLastWasLeftOn() {
        report::Form1* first = openReport("BIOS");
        first->SSTab1()->setCurrentIndex(3);
        report::Form1* second = openReport("Fan");
        QVERIFY(second && second != first);
        QCOMPARE(second->SSTab1()->currentIndex(), 0);
        QCOMPARE(first->SSTab1()->currentIndex(), 3);
    }

    // --- the example viewer

    void exampleCommandOpensAViewerOnItsPack_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("address");
        QTest::newRow("NoScript") << "mnunoscript"
                                  << "http://examples.test:8642/examplemps/noscript/Korvane.2008.BIOS.xml";
        QTest::newRow("JScript") << "mnujscript"
                                 << "http://examples.test:8642/examplemps/Jscript/Korvane.2008.BIOS.xml";
        QTest::newRow("VBScript") << "mnuvbscript"
                                  << "http://examples.test:8642/examplemps/VBscript/Korvane.2008.BIOS.xml";
    }
    void exampleCommandOpensAViewerOnItsPack() {
        QFETCH(QString, command);
        QFETCH(QString, address);
        m_h->window()->findChild<QAction*>(command)->trigger();
        QCOMPARE(subWindows(*m_h).size(), 1);
        QMdiSubWindow* sub = subWindows(*m_h).front();
        auto* form = qobject_cast<examples::Form5*>(sub->widget());
        QVERIFY(form);
        QVERIFY(sub->isVisible());
        QCOMPARE(sub->pos(), QPoint(0, 0));
        QCOMPARE(form->size(), twipsSize(17310, 12525));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QWidget* browser = form->WebBrowser1()->widget();
        QCOMPARE(browser->objectName(), QStringLiteral("WebBrowser1"));
        QCOMPARE(browser->geometry(), QRect(QPoint(0, 0), twipsSize(17280, 12495)));
        QCOMPARE(static_cast<test::RecordingBrowser*>(form->WebBrowser1())->addresses(),
                 QStringList{address});
        QVERIFY(m_h->errors.errors().empty());
    }

    void sameExampleTwiceGivesTwoViewersTheSecondOnTop() {
        auto* command = m_h->window()->findChild<QAction*>("mnujscript");
        command->trigger();
        command->trigger();
        QMdiArea* area = m_h->window()->mdiArea();
        const auto created = area->subWindowList(QMdiArea::CreationOrder);
        QCOMPARE(created.size(), 2);
        QCOMPARE(area->subWindowList(QMdiArea::StackingOrder).back(), created[1]);
        QCOMPARE(area->activeSubWindow(), created[1]);
        QCOMPARE(created[0]->pos(), QPoint(0, 0));
        QCOMPARE(created[1]->pos(), QPoint(0, 0));
    }

    void viewerBrowserKeepsItsSize_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("made larger") << "larger";
        QTest::newRow("made smaller") << "smaller";
        QTest::newRow("maximized") << "maximized";
        QTest::newRow("minimized and restored") << "minimized";
        QTest::newRow("main window shrunk") << "main";
    }
    void viewerBrowserKeepsItsSize() {
        QFETCH(QString, action);
        m_h->window()->findChild<QAction*>("mnunoscript")->trigger();
        QMdiSubWindow* sub = subWindows(*m_h).front();
        auto* form = qobject_cast<examples::Form5*>(sub->widget());
        if (action == "larger") sub->resize(sub->size() + QSize(200, 200));
        if (action == "smaller") sub->resize(200, 150);
        if (action == "maximized") sub->showMaximized();
        if (action == "minimized") {
            sub->showMinimized();
            QTRY_VERIFY(sub->isMinimized());
            sub->showNormal();
        }
        if (action == "main") m_h->window()->resize(300, 300);
        QCoreApplication::processEvents();
        QCOMPARE(form->WebBrowser1()->widget()->size(), twipsSize(17280, 12495));
        QCOMPARE(form->WebBrowser1()->widget()->pos(), QPoint(0, 0));
    }

    // --- the error report

    void errorReportText_data() {
        QTest::addColumn<quint32>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("service error") << quint32(0x8004100E) << "Invalid namespace"
                                       << "Error -2147217394 (0x8004100E)\n\nInvalid namespace";
        QTest::newRow("small number") << quint32(75) << "Path/File access error"
                                      << "Error 75 (0x0000004B)\n\nPath/File access error";
        QTest::newRow("rpc") << quint32(0x800706BA) << "The RPC server is unavailable."
                             << "Error -2147023174 (0x800706BA)\n\nThe RPC server is unavailable.";
        QTest::newRow("empty description") << quint32(0x80041002) << ""
                                           << "Error -2147217406 (0x80041002)\n\n";
    }
    void errorReportText() {
        QFETCH(quint32, number);
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(shell::errorReportText(Error(number, description.toStdString())), expected);
    }

    void escapedErrorIsReportedOnceAndStopsTheHandler_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<quint32>("number");
        QTest::newRow("program error") << 0 << quint32(0x80041003);
        QTest::newRow("other exception") << 1 << quint32(wbem::Failed);
        QTest::newRow("out of memory") << 2 << quint32(7);
    }
    void escapedErrorIsReportedOnceAndStopsTheHandler() {
        QFETCH(int, kind);
        QFETCH(quint32, number);
        test::ErrorRecorder errors;
        bool after = false;
        shell::runHandler(errors.reporter(), [&] {
            if (kind == 0) throw Error(0x80041003, "Access denied");
            if (kind == 1) throw std::runtime_error("disk full");
            throw std::bad_alloc();
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(errors.errors().size(), std::size_t(1));
        QCOMPARE(errors.errors().front().number(), number);
        QVERIFY(!errors.errors().front().description().empty());
    }

  private:
    // Picks root\cimv2 once, then the item in Combo5; returns the newest report window.
    report::Form1* openReport(const QString& item) {
        if (m_h->combo(1)->currentText() != "root\\cimv2") {
            if (!test::pickWithMouse(m_h->combo(1), "root\\cimv2")) return nullptr;
        }
        if (!test::pickWithMouse(m_h->combo(5), item)) return nullptr;
        QMdiSubWindow* sub = m_h->window()->mdiArea()->activeSubWindow();
        if (!sub || !QTest::qWaitForWindowExposed(sub)) return nullptr;
        return qobject_cast<report::Form1*>(sub->widget());
    }

    std::unique_ptr<MainWindowHarness> m_h;
};

QTEST_MAIN(ChildWindowsTest)
#include "tst_childwindows.moc"
