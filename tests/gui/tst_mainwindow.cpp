// The main window: layout, menus, status bar, start-up and the saved placement.
#include "GuiSupport.h"

#include "navigation/Twips.h"
#include "shell/Module1.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace morrowlen;
using morrowlen::test::MainWindowHarness;

namespace {

QTemporaryDir& configHome() {
    static QTemporaryDir dir;
    return dir;
}

QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

QString twipsText(int pixels) {
    return QString::number(static_cast<int>(pixelsToTwips(pixels)));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  public:
    static void initMain() {
        test::prepareWebEngine();
        // QSettings reads the configuration folder once; point it into the test's own folder first.
        qputenv("XDG_CONFIG_HOME", configHome().path().toLocal8Bit());
    }

  private slots:
    void initTestCase() { test::quietPlatformNotes(); }
    void init() {
        m_h = std::make_unique<MainWindowHarness>();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void cleanup() {
        m_h.reset();
        QLocale::setDefault(QLocale::c());
    }

    void startUpPlacesWindowAndFillsNamespaceList() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Morrowlen"));
        // The placement is the outer one, frame included.
        QCOMPARE(w->frameGeometry(),
                 QRect(twipsToPixels(10), twipsToPixels(10), twipsToPixels(10920), twipsToPixels(13275)));

        // Sorted without regard to case: "zeta" before "Zulu", though 'Z' < 'z'.
        const QStringList expected = {"*To start the program select a namespace from here*",
                                      "root",
                                      "root\\Alpha",
                                      "root\\cimv2",
                                      "root\\default",
                                      "root\\secret",
                                      "root\\secret\\inner",
                                      "root\\zeta",
                                      "root\\Zulu"};
        QCOMPARE(test::itemTexts(m_h->combo(1)), expected);
        QCOMPARE(m_h->combo(1)->currentText(), expected.first());
        for (int n = 2; n <= 6; ++n) {
            QComboBox* c = m_h->combo(n);
            QCOMPARE(c->count(), 0);
            QCOMPARE(c->currentText(), QString());
            QVERIFY(!c->isEnabled());
        }
        QTRY_COMPARE(test::focusedList(), QStringLiteral("Combo1"));
        QVERIFY(m_h->errors.errors().empty());
    }

    void startUpListsRefusingChildButNotItsSubtree() {
        m_h->repo.restrict("root\\secret");
        QVERIFY(m_h->start());
        const QStringList items = test::itemTexts(m_h->combo(1));
        QVERIFY(items.contains("root\\secret"));
        QVERIFY(!items.contains("root\\secret\\inner"));
        QVERIFY(items.contains("root\\zeta"));
        QVERIFY(items.contains("root\\Zulu"));
        QVERIFY(m_h->errors.errors().empty());
    }

    void startUpFailsWhenRootRefuses() {
        m_h->repo.restrict("root");
        QVERIFY(!m_h->start());
        QVERIFY(Module1::mainWindow.isNull());
        QCOMPARE(m_h->errors.errors().size(), std::size_t(1));
        const Error& e = m_h->errors.errors().front();
        QCOMPARE(e.number(), wbem::AccessDenied);
        QVERIFY(!e.description().empty());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
    }

    void panelSpansTopAtDesignedHeightAndColour() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto* panel = w->findChild<QWidget*>("SSPanel2");
        QVERIFY(panel);
        QCOMPARE(panel->mapTo(w, QPoint(0, 0)), QPoint(0, w->menuBar()->height()));
        QCOMPARE(panel->size(), QSize(w->width(), twipsToPixels(2640)));
        QCOMPARE(QFontInfo(panel->font()).pointSizeF(), 8.25);
        QCOMPARE(panel->font().family(), QStringLiteral("MS Sans Serif"));
        QVERIFY(QFontInfo(panel->font()).family() != QLatin1String("MS Sans Serif")); // substituted
        // Painted, not only set: a spot between the controls shows the panel's colour.
        const QImage image = panel->grab().toImage();
        QCOMPARE(QColor(image.pixel(3, 3)), QColor(236, 233, 216));
        QCOMPARE(QColor(image.pixel(panel->width() - 3, panel->height() - 3)), QColor(236, 233, 216));
    }

    void panelControlsAtDesignedPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Label1") << "Label1"
                                << "Namespace:" << QRect(240, 120, 975, 255);
        QTest::newRow("Combo1") << "Combo1"
                                << "" << QRect(240, 360, 10335, 315);
        QTest::newRow("Label2") << "Label2"
                                << "CIM:" << QRect(240, 720, 375, 255);
        QTest::newRow("Combo2") << "Combo2"
                                << "" << QRect(240, 960, 5055, 315);
        QTest::newRow("Label3") << "Label3"
                                << "MSFT:" << QRect(240, 1320, 495, 255);
        QTest::newRow("Combo3") << "Combo3"
                                << "" << QRect(240, 1560, 5055, 315);
        QTest::newRow("Label4") << "Label4"
                                << "Msft:" << QRect(240, 1920, 495, 255);
        QTest::newRow("Combo4") << "Combo4"
                                << "" << QRect(240, 2160, 5055, 315);
        QTest::newRow("Label7") << "Label7"
                                << "Win32:" << QRect(5520, 720, 615, 255);
        QTest::newRow("Combo5") << "Combo5"
                                << "" << QRect(5520, 960, 5055, 315);
        QTest::newRow("Label6") << "Label6"
                                << "NoCategory:" << QRect(5520, 1320, 975, 255);
        QTest::newRow("Combo6") << "Combo6"
                                << "" << QRect(5520, 1560, 5055, 315);
        QTest::newRow("Label5")
            << "Label5"
            << "We are not to be held responisble if you decided to use our sample Management "
               "Packs for testing or production.  We know these work."
            << QRect(5520, 1920, 5055, 615);
    }
    void panelControlsAtDesignedPlaces() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, twips);
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        auto* panel = w->findChild<QWidget*>("SSPanel2");
        auto* control = panel->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), panel);
        const QRect want = twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
        if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->geometry(), want);
            QCOMPARE(label->text(), text);
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            // The whole text fits its box at the panel's font.
            const QSize needed = label->wordWrap()
                                     ? QSize(label->width(), label->heightForWidth(label->width()))
                                     : label->sizeHint();
            QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                     qPrintable(QStringLiteral("needs %1 x %2 px").arg(needed.width()).arg(needed.height())));
        } else {
            // A list's height is its one-line field; a pixel of rounding is allowed.
            QCOMPARE(control->pos(), want.topLeft());
            QCOMPARE(control->width(), want.width());
            QVERIFY2(qAbs(control->height() - want.height()) <= 1,
                     qPrintable(QString::number(control->height())));
            QCOMPARE(QFontInfo(control->font()).pointSizeF(), 8.25);
            QVERIFY(!QFontInfo(control->font()).bold());
        }
    }

    void disclaimerIsBoldDarkRedAndWrapped() {
        QVERIFY(m_h->start());
        auto* label = m_h->window()->findChild<QLabel*>("Label5");
        QVERIFY(label->wordWrap());
        QCOMPARE(label->font().weight(), QFont::Bold);
        QCOMPARE(QFontInfo(label->font()).pointSizeF(), 8.25);
        QVERIFY(QTest::qWaitForWindowExposed(m_h->window()));
        const QImage image = label->grab().toImage();
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (QColor(image.pixel(x, y)) == QColor(192, 0, 0)) ++red;
        QVERIFY2(red > 50, qPrintable(QString::number(red)));
    }

    void menusHaveTheirCommandsAndNothingElse() {
        QVERIFY(m_h->start());
        const QList<QAction*> bar = m_h->window()->menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0]->objectName(), QStringLiteral("mnuFile"));
        QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
        QCOMPARE(bar[1]->objectName(), QStringLiteral("mnubios"));
        QCOMPARE(bar[1]->text(), QStringLiteral("BIOS Discovery Managementpack"));
        const QList<QPair<QString, QString>> expected[2] = {
            {{"mnuFileExit", "E&xit"}},
            {{"mnunoscript", "NoScript Example"},
             {"mnujscript", "JScript Example"},
             {"mnuvbscript", "VBScript Example"}},
        };
        for (int m = 0; m < 2; ++m) {
            const QList<QAction*> items = bar[m]->menu()->actions();
            QCOMPARE(items.size(), expected[m].size());
            for (qsizetype i = 0; i < items.size(); ++i) {
                QCOMPARE(items[i]->objectName(), expected[m][i].first);
                QCOMPARE(items[i]->text(), expected[m][i].second);
                QVERIFY(items[i]->shortcuts().isEmpty());
                QVERIFY(!items[i]->isCheckable());
                QVERIFY(items[i]->isEnabled() && items[i]->isVisible());
            }
        }
    }

    void statusBarAtBottomWithThreePanels() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        shell::ClockStatusBar* bar = w->findChild<shell::ClockStatusBar*>("sbStatusBar");
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(0, w->height() - twipsToPixels(270), w->width(), twipsToPixels(270)));
        QCOMPARE(bar->panel(1)->text(), QStringLiteral("Status"));
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(bar->panel(n)->isVisible());
            QVERIFY(bar->panel(n)->width() >= twipsToPixels(1440));
            QCOMPARE(bar->panel(n)->focusPolicy(), Qt::NoFocus);
        }
        QVERIFY(bar->panel(1)->x() < bar->panel(2)->x() && bar->panel(2)->x() < bar->panel(3)->x());
        // The first panel takes what the others leave.
        QVERIFY(bar->panel(1)->width() > w->width() - bar->panel(2)->width() - bar->panel(3)->width() - 40);
        QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
    }

    void statusBarFollowsTheClock() {
        auto now = std::make_shared<QDateTime>(QDate(2008, 6, 30), QTime(19, 32, 45));
        shell::ClockStatusBar bar([now] { return *now; });
        QCOMPARE(bar.panel(2)->text(), QStringLiteral("6/30/2008"));
        QCOMPARE(bar.panel(3)->text(), QStringLiteral("7:32 PM"));
        *now = QDateTime(QDate(2008, 6, 30), QTime(19, 33, 0));
        QTRY_COMPARE_WITH_TIMEOUT(bar.panel(3)->text(), QStringLiteral("7:33 PM"), 2500);
        QCOMPARE(bar.panel(2)->text(), QStringLiteral("6/30/2008"));
        *now = QDateTime(QDate(2008, 7, 1), QTime(0, 0, 5));
        QTRY_COMPARE_WITH_TIMEOUT(bar.panel(2)->text(), QStringLiteral("7/1/2008"), 2500);
        QCOMPARE(bar.panel(3)->text(), QStringLiteral("12:00 AM"));
    }

    // The locale's short date with a four-digit year; hours and minutes in the locale's form.
    void statusBarDateAndTimeInTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "6/30/2008"
                               << "7:32 PM";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "30.06.2008"
                               << "19:32";
        QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "30/06/2008"
                               << "19:32";
        QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan) << "2008/06/30"
                               << "19:32";
        QTest::newRow("C") << QLocale::c() << "30 Jun 2008"
                           << "19:32";
    }
    void statusBarDateAndTimeInTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QLocale::setDefault(locale);
        const QDateTime at(QDate(2008, 6, 30), QTime(19, 32, 45));
        shell::ClockStatusBar bar([at] { return at; });
        QCOMPARE(bar.panel(2)->text(), date);
        QCOMPARE(bar.panel(3)->text(), time);
    }

    void resizingKeepsBarsAtTheirHeightsAcrossTheWidth_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("wider") << QSize(1000, 900);
        QTest::newRow("narrower") << QSize(400, 600);
        QTest::newRow("low") << QSize(760, 400);
    }
    void resizingKeepsBarsAtTheirHeightsAcrossTheWidth() {
        QFETCH(QSize, size);
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect combo1 = m_h->combo(1)->geometry();
        w->resize(size);
        QTRY_COMPARE(w->size(), size);
        auto* panel = w->findChild<QWidget*>("SSPanel2");
        QTRY_COMPARE(panel->size(), QSize(w->width(), twipsToPixels(2640)));
        QTRY_COMPARE(w->sbStatusBar()->geometry(),
                     QRect(0, w->height() - twipsToPixels(270), w->width(), twipsToPixels(270)));
        QCOMPARE(m_h->combo(1)->geometry(), combo1);
    }

    // The main window on the screens the tests run on (see CMakeLists.txt): the designed placement
    // where it fits, otherwise as large as fits and inside the screen; what is saved is what it had.
    void mainWindowFitsTheScreen_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("frame");
        QTest::newRow("1920x1080") << QSize(1920, 1080) << twipsRect(10, 10, 10920, 13275);
        QTest::newRow("1366x768") << QSize(1366, 768) << QRect(1, 0, 728, 768);
    }
    void mainWindowFitsTheScreen() {
        QFETCH(QSize, screen);
        QFETCH(QRect, frame);
        if (QGuiApplication::primaryScreen()->size() != screen) QSKIP("runs on another screen");
        QVERIFY(m_h->start());
        QPointer<shell::frmMain> w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->frameGeometry(), frame);
        const QRect available = w->screen()->availableGeometry();
        QVERIFY(available.contains(w->frameGeometry()));
        shell::ClockStatusBar* bar = w->sbStatusBar();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->height(), twipsToPixels(270));
        QVERIFY(available.contains(QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size())));
        w->findChild<QAction*>("mnuFileExit")->trigger();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(m_h->settings.value("MainLeft"), twipsText(frame.x()));
        QCOMPARE(m_h->settings.value("MainTop"), twipsText(frame.y()));
        QCOMPARE(m_h->settings.value("MainWidth"), twipsText(frame.width()));
        QCOMPARE(m_h->settings.value("MainHeight"), twipsText(frame.height()));
    }

    void clientAreaIsBlackWithTheBackgroundPicture() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QWidget* viewport = w->mdiArea()->viewport();
        const QImage shown = viewport->grab().toImage();
        const QImage picture(":/background.jpg");
        QVERIFY(!picture.isNull());
        QCOMPARE(QColor(shown.pixel(0, 0)), QColor(Qt::black));
        QCOMPARE(QColor(shown.pixel(shown.width() - 1, shown.height() - 1)), QColor(Qt::black));
        const QPoint origin((shown.width() - picture.width()) / 2, (shown.height() - picture.height()) / 2);
        for (QPoint p : {QPoint(picture.width() / 2, picture.height() / 2), QPoint(10, 10)})
            QCOMPARE(QColor(shown.pixel(origin + p)), QColor(picture.pixel(p)));
    }

    void childLargerThanTheAreaIsClippedAndScrolls() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->findChild<QAction*>("mnunoscript")->trigger();
        QMdiArea* area = w->mdiArea();
        QCOMPARE(area->subWindowList().size(), 1);
        QMdiSubWindow* sub = area->subWindowList().front();
        QVERIFY(!area->viewport()->rect().contains(sub->geometry()));
        QCOMPARE(sub->parentWidget(), area->viewport());
        QTRY_VERIFY(area->horizontalScrollBar()->isVisible());
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        QVERIFY(area->horizontalScrollBar()->maximum() > 0);
    }

    void tabMovesThroughTheListsInTheirOrder() {
        QVERIFY(m_h->start());
        shell::frmMain* w = m_h->window();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_COMPARE(test::focusedList(), QStringLiteral("Combo1"));
        // Only Combo1 is enabled after start-up: Tab stays in it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(test::focusedList(), QStringLiteral("Combo1"));

        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        for (int n = 2; n <= 6; ++n)
            QVERIFY(m_h->combo(n)->isEnabled());
        m_h->combo(4)->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(test::focusedList(), QStringLiteral("Combo4"));
        for (const char* next : {"Combo3", "Combo2", "Combo5", "Combo6", "Combo1", "Combo4"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(test::focusedList(), QString::fromLatin1(next));
        }
        // Disabled lists are passed over.
        m_h->combo(3)->setEnabled(false);
        m_h->combo(5)->setEnabled(false);
        for (const char* next : {"Combo2", "Combo6", "Combo1", "Combo4"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(test::focusedList(), QString::fromLatin1(next));
        }
    }

    void unloadSavesThePlacement_data() {
        QTest::addColumn<bool>("viaExit");
        QTest::addColumn<QString>("state");
        for (bool viaExit : {false, true})
            for (const char* state : {"moved", "offscreen", "maximized"})
                QTest::addRow("%s %s", viaExit ? "exit" : "close box", state) << viaExit << QString(state);
    }
    void unloadSavesThePlacement() {
        QFETCH(bool, viaExit);
        QFETCH(QString, state);
        QVERIFY(m_h->start());
        QPointer<shell::frmMain> w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (state == "moved") {
            w->move(50, 40);
            w->resize(600 - (w->frameGeometry().width() - w->width()), 500);
        } else if (state == "offscreen") {
            w->move(-4, -2);
        } else {
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            QTRY_COMPARE(w->frameGeometry(), w->screen()->availableGeometry());
        }
        QTRY_VERIFY(state != "moved" || w->frameGeometry().width() == 600);
        const QRect frame = w->frameGeometry();
        if (viaExit)
            w->findChild<QAction*>("mnuFileExit")->trigger();
        else
            QVERIFY(w->close());
        QTRY_VERIFY(w.isNull());

        const auto& saved = m_h->settings.saved;
        QCOMPARE(saved.size(), std::size_t(4));
        const QString keys[4] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        const QString values[4] = {twipsText(frame.x()), twipsText(frame.y()), twipsText(frame.width()),
                                   twipsText(frame.height())};
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(saved[i].appName, QStringLiteral("Morrowlen"));
            QCOMPARE(saved[i].section, QStringLiteral("Settings"));
            QCOMPARE(saved[i].key, keys[i]);
            QCOMPARE(saved[i].value, values[i]);
        }
        if (state == "moved") QCOMPARE(saved[2].value, QStringLiteral("9000"));
        if (state == "offscreen") QCOMPARE(saved[0].value, QStringLiteral("-60"));
        QVERIFY(m_h->errors.errors().empty());
    }

    void unloadWhileMinimizedSavesNothing() {
        QVERIFY(m_h->start());
        QPointer<shell::frmMain> w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->showMinimized();
        QTRY_VERIFY(w->isMinimized());
        w->close();
        QTRY_VERIFY(w.isNull());
        QVERIFY(m_h->settings.saved.empty());
    }

    void failingSettingsWriteStopsAtThatKeyAndIsReported() {
        m_h->settings.failAt = "MainWidth";
        QVERIFY(m_h->start());
        QPointer<shell::frmMain> w = m_h->window();
        w->close();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(m_h->settings.saved.size(), std::size_t(2));
        QCOMPARE(m_h->settings.saved[1].key, QStringLiteral("MainTop"));
        QCOMPARE(m_h->errors.errors().size(), std::size_t(1));
        QCOMPARE(m_h->errors.errors().front().number(), runtime::PathFileAccessError);
    }

    void qtSettingsStoreWritesTheIniFile() {
        shell::QtSettingsStore store;
        m_h->settingsStore = &store;
        QVERIFY(m_h->start());
        QPointer<shell::frmMain> w = m_h->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(-4, 7);
        QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(-4, 7));
        w->findChild<QAction*>("mnuFileExit")->trigger();
        QTRY_VERIFY(w.isNull());

        QFile file(configHome().filePath("Morrowlen/Morrowlen.conf"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({"[Settings]", "MainHeight=13275", "MainLeft=-60", "MainTop=105",
                                     "MainWidth=10920"}));
        QVERIFY(m_h->errors.errors().empty());
    }

    void qtSettingsStoreReportsAFolderItCannotCreate() {
        // A plain file where the application's folder belongs.
        QFile blocker(configHome().filePath("Blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        shell::QtSettingsStore store;
        try {
            store.SaveSetting("Blocked", "Settings", "MainLeft", "15");
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(e.number(), runtime::PathFileAccessError);
            QVERIFY(QString::fromStdString(e.description()).contains("MainLeft"));
        }
    }

  private:
    std::unique_ptr<MainWindowHarness> m_h;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
