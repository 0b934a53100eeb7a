// The six lists of the main window: what counts as a pick, their order, and the class catalogue and
// class selection run through the real widgets.
#include "GuiSupport.h"

#include "navigation/DropDownList.h"
#include "navigation/Module2.h"
#include "report/Form1.h"
#include "shell/ComboList.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace morrowlen;
using morrowlen::test::MainWindowHarness;

namespace {

const QString NamespacePlaceholder = "*To start the program select a namespace from here*";
const QString ClassPlaceholder = "*Select A Class*";

struct ListState {
    QStringList items;
    QString text;
    bool enabled;
    bool operator==(const ListState&) const = default;
};

ListState stateOf(const QComboBox* combo) {
    return {test::itemTexts(combo), combo->currentText(), combo->isEnabled()};
}

char* toString(const ListState& s) {
    return QTest::toString(
        QStringLiteral("[%1] \"%2\" %3").arg(s.items.join('|'), s.text, s.enabled ? "enabled" : "disabled"));
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A list on its own, shown in an active window with the keyboard focus.
struct LoneList {
    QWidget window;
    shell::ComboList* list = new shell::ComboList(&window);
    LoneList() {
        window.resize(300, 80);
        list->setGeometry(10, 10, 280, 24);
        window.show();
        QApplication::setActiveWindow(&window);
        list->setFocus();
    }
};

void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
}

} // namespace

class ListsTest : public QObject {
    Q_OBJECT
  public:
    static void initMain() { test::prepareWebEngine(); }

  private slots:
    void initTestCase() { test::quietPlatformNotes(); }
    void init() { m_h = std::make_unique<MainWindowHarness>(); }
    void cleanup() { m_h.reset(); }

    // --- what is a pick

    void codeChangesAreNeverPicks() {
        LoneList lone;
        QSignalSpy picks(lone.list, &shell::ComboList::picked);
        nav::DropDownList& list = *lone.list;
        list.addItem("beta");
        list.addItems({"alpha", "gamma"});
        list.setText("alpha");
        list.setText("not an item");
        list.setEnabled(false);
        list.setEnabled(true);
        list.clear();
        list.addItem("delta");
        QCOMPARE(picks.count(), 0);
    }

    void userPicksRunTheHandler_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mouse in the drop-down") << "mouse"
                                                << "gamma";
        QTest::newRow("down arrow on the closed list") << "down"
                                                       << "beta";
        QTest::newRow("up arrow on the closed list") << "up"
                                                     << "beta";
    }
    void userPicksRunTheHandler() {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        LoneList lone;
        nav::DropDownList& list = *lone.list;
        list.addItems({"gamma", "alpha", "beta"});
        list.setText("alpha");
        QVERIFY(QTest::qWaitForWindowActive(&lone.window));
        QTRY_VERIFY(lone.list->hasFocus() || lone.list->lineEdit()->hasFocus());
        // Each pick is seen with the picked text already shown.
        QStringList seen;
        connect(lone.list, &shell::ComboList::picked, this,
                [&] { seen.push_back(QString::fromStdString(list.text())); });
        if (how == "mouse") {
            QVERIFY(test::pickWithMouse(lone.list, "gamma"));
        } else if (how == "down") {
            press(Qt::Key_Down);
        } else {
            press(Qt::Key_Down);
            press(Qt::Key_Down);
            seen.clear();
            press(Qt::Key_Up);
        }
        QCOMPARE(seen, QStringList{expected});
    }

    void typingIsNeverAPick_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("finish");
        for (const char* typed : {"beta", "BETA", "zeta"}) {
            QTest::addRow("%s, Enter", typed) << QString(typed) << int(Qt::Key_Return);
            QTest::addRow("%s, keypad Enter", typed) << QString(typed) << int(Qt::Key_Enter);
            QTest::addRow("%s, Tab away", typed) << QString(typed) << int(Qt::Key_Tab);
        }
    }
    void typingIsNeverAPick() {
        QFETCH(QString, typed);
        QFETCH(int, finish);
        LoneList lone;
        auto* other = new QLineEdit(&lone.window); // somewhere for Tab to go
        other->setGeometry(10, 40, 100, 24);
        other->show();
        nav::DropDownList& list = *lone.list;
        list.addItems({"alpha", "beta"});
        QVERIFY(QTest::qWaitForWindowActive(&lone.window));
        QSignalSpy picks(lone.list, &shell::ComboList::picked);
        lone.list->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), typed);
        press(Qt::Key(finish));
        QCOMPARE(picks.count(), 0);
        QCOMPARE(test::itemTexts(lone.list), QStringList({"alpha", "beta"}));
        QCOMPARE(QString::fromStdString(list.text()), typed);
    }

    // --- the order of the items, the same for the window's lists and the in-memory list

    void itemsTakeTheirSortedPlace_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("case is ignored")
            << QStringList{"b", "C", "a", "B"} << QStringList{"a", "b", "B", "C"};
        QTest::newRow("placeholder added last comes first")
            << QStringList{"Disk", "fan", "2nd", ClassPlaceholder}
            << QStringList{ClassPlaceholder, "2nd", "Disk", "fan"};
        QTest::newRow("empty item before the placeholder")
            << QStringList{ClassPlaceholder, "X", ""} << QStringList{"", ClassPlaceholder, "X"};
        QTest::newRow("paths: a parent before its children")
            << QStringList{"root\\b", "root", "root\\a\\x", "root\\a", "root\\Zulu", "root\\zeta"}
            << QStringList{"root", "root\\a", "root\\a\\x", "root\\b", "root\\zeta", "root\\Zulu"};
        QTest::newRow("underscore before letters")
            << QStringList{"ab", "aB", "a_b"} << QStringList{"a_b", "ab", "aB"};
    }
    void itemsTakeTheirSortedPlace() {
        QFETCH(QStringList, added);
        QFETCH(QStringList, expected);
        std::vector<std::string> all;
        for (const QString& s : added)
            all.push_back(s.toStdString());

        shell::ComboList oneByOne, inOnePass;
        nav::MemoryList memory;
        for (const auto& item : all) {
            static_cast<nav::DropDownList&>(oneByOne).addItem(item);
            memory.addItem(item);
        }
        static_cast<nav::DropDownList&>(inOnePass).addItems(all);
        QCOMPARE(test::itemTexts(&oneByOne), expected);
        QCOMPARE(test::itemTexts(&inOnePass), expected);
        QStringList fromMemory;
        for (const auto& item : memory.items())
            fromMemory.push_back(QString::fromStdString(item));
        QCOMPARE(fromMemory, expected);
    }

    void changingItemsKeepsTheShownText() {
        shell::ComboList combo;
        nav::DropDownList& list = combo;
        list.setText("shown");
        list.addItem("a");
        list.addItems({"b", "c"});
        QCOMPARE(combo.currentText(), QStringLiteral("shown"));
        list.clear();
        QCOMPARE(combo.currentText(), QStringLiteral("shown"));
        QCOMPARE(combo.count(), 0);
    }

    // --- the class catalogue

    void namespacePickFillsTheFamilies_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("Combo2 CIM_") << 2 << QStringList{ClassPlaceholder, "Disk", "Fan"};
        QTest::newRow("Combo3 MSFT_") << 3 << QStringList{ClassPlaceholder, "Provider"};
        QTest::newRow("Combo4 Msft_") << 4 << QStringList{ClassPlaceholder, "Tool"};
        QTest::newRow("Combo5 Win32_ without Perf") << 5 << QStringList{ClassPlaceholder, "BIOS", "Fan"};
        QTest::newRow("Combo6 no underscore") << 6 << QStringList{ClassPlaceholder, "Widget"};
    }
    void namespacePickFillsTheFamilies() {
        QFETCH(int, list);
        QFETCH(QStringList, items);
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QCOMPARE(Module2::strCurrentNamespace, std::string("root\\cimv2"));
        QCOMPARE(stateOf(m_h->combo(list)), (ListState{items, ClassPlaceholder, true}));
        QCOMPARE(m_h->combo(1)->currentText(), QStringLiteral("root\\cimv2"));
        QVERIFY(m_h->errors.errors().empty());
    }

    void placeholderPickChangesNothing_data() {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing picked yet") << "";
        QTest::newRow("after a namespace") << "namespace";
        QTest::newRow("after a class lock") << "lock";
    }
    void placeholderPickChangesNothing() {
        QFETCH(QString, before);
        QVERIFY(m_h->start());
        if (!before.isEmpty()) QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        if (before == "lock") QVERIFY(test::pickWithMouse(m_h->combo(5), "BIOS"));
        std::vector<ListState> lists;
        for (int n = 2; n <= 6; ++n)
            lists.push_back(stateOf(m_h->combo(n)));
        const std::string current = Module2::strCurrentNamespace;
        const auto windows = m_h->window()->mdiArea()->subWindowList().size();

        QVERIFY(test::pickWithMouse(m_h->combo(1), NamespacePlaceholder));
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(stateOf(m_h->combo(n)), lists[std::size_t(n - 2)]);
        QCOMPARE(Module2::strCurrentNamespace, current);
        QCOMPARE(m_h->window()->mdiArea()->subWindowList().size(), windows);
        QVERIFY(m_h->errors.errors().empty());
    }

    void pickOfTheCurrentNamespaceRebuildsAndUnlocks() {
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(2), "Disk"));
        QVERIFY(!m_h->combo(5)->isEnabled());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        for (int n = 2; n <= 6; ++n) {
            QCOMPARE(m_h->combo(n)->currentText(), ClassPlaceholder);
            QVERIFY(m_h->combo(n)->isEnabled());
        }
        QCOMPARE(test::itemTexts(m_h->combo(2)), QStringList({ClassPlaceholder, "Disk", "Fan"}));
    }

    void namespaceWithOnlySystemClassesLeavesTheListsEmpty() {
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\default"));
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(stateOf(m_h->combo(n)), (ListState{{}, "", false}));
        QCOMPARE(Module2::strCurrentNamespace, std::string("root\\default"));
        QVERIFY(m_h->errors.errors().empty());
    }

    void namespaceGoneSinceStartUpIsReportedAndTheProgramGoesOn() {
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        m_h->repo.restrict("root\\cimv2");
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QCOMPARE(m_h->errors.errors().size(), std::size_t(1));
        QCOMPARE(m_h->errors.errors().front().number(), wbem::AccessDenied);
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(stateOf(m_h->combo(n)), (ListState{{}, "", false}));
        QCOMPARE(Module2::strCurrentNamespace, std::string("root\\cimv2"));

        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\Alpha"));
        QCOMPARE(stateOf(m_h->combo(2)), (ListState{{ClassPlaceholder, "Thing"}, ClassPlaceholder, true}));
        QCOMPARE(m_h->errors.errors().size(), std::size_t(1));
    }

    // --- the class selection

    void classPickOpensAReportAndLocksTheOthers_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("className");
        QTest::newRow("Combo2") << 2 << "Disk"
                                << "CIM_Disk";
        QTest::newRow("Combo3") << 3 << "Provider"
                                << "MSFT_Provider";
        QTest::newRow("Combo4") << 4 << "Tool"
                                << "Msft_Tool";
        QTest::newRow("Combo5") << 5 << "BIOS"
                                << "Win32_BIOS";
        QTest::newRow("Combo6") << 6 << "Widget"
                                << "Widget";
    }
    void classPickOpensAReportAndLocksTheOthers() {
        QFETCH(int, list);
        QFETCH(QString, item);
        QFETCH(QString, className);
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(list), item));
        QVERIFY(m_h->errors.errors().empty());
        QCOMPARE(QString::fromStdString(Module2::strClassName), className);
        const auto subs = m_h->window()->mdiArea()->subWindowList();
        QCOMPARE(subs.size(), 1);
        QVERIFY(qobject_cast<report::Form1*>(subs.front()->widget()));
        QVERIFY(subs.front()->isVisible());
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(m_h->combo(n)->isEnabled(), n == list);
        QCOMPARE(m_h->combo(list)->currentText(), item);
        QVERIFY(std::filesystem::exists(m_h->pagePath()));
    }

    void placeholderPickUnlocksTheListsThatHoldClasses() {
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\Alpha"));
        // Something typed into another list's field is replaced by the placeholder.
        m_h->combo(6)->lineEdit()->setText("typed");
        QVERIFY(test::pickWithMouse(m_h->combo(2), "Thing"));
        QVERIFY(!m_h->combo(6)->isEnabled());
        QVERIFY(test::pickWithMouse(m_h->combo(2), ClassPlaceholder));
        QCOMPARE(stateOf(m_h->combo(6)), (ListState{{ClassPlaceholder, "Gadget"}, ClassPlaceholder, true}));
        for (int n = 3; n <= 5; ++n)
            QCOMPARE(stateOf(m_h->combo(n)), (ListState{{}, "", false}));
        QCOMPARE(stateOf(m_h->combo(2)), (ListState{{ClassPlaceholder, "Thing"}, ClassPlaceholder, true}));
        QCOMPARE(m_h->window()->mdiArea()->subWindowList().size(), 1);
    }

    void closingTheReportsDoesNotUnlock() {
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(5), "BIOS"));
        m_h->window()->mdiArea()->closeAllSubWindows();
        QTRY_VERIFY(m_h->window()->mdiArea()->subWindowList().isEmpty());
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(m_h->combo(n)->isEnabled(), n == 5);
    }

    void twoPicksGiveTwoReportsTheNewerOnTop_data() {
        QTest::addColumn<QString>("second");
        QTest::newRow("another class") << "Fan";
        QTest::newRow("the same class") << "BIOS";
    }
    void twoPicksGiveTwoReportsTheNewerOnTop() {
        QFETCH(QString, second);
        QVERIFY(m_h->start());
        QVERIFY(QTest::qWaitForWindowExposed(m_h->window()));
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(5), "BIOS"));
        QMdiArea* area = m_h->window()->mdiArea();
        QMdiSubWindow* first = area->subWindowList().front();
        QVERIFY(test::pickWithMouse(m_h->combo(5), second));
        const auto stacked = area->subWindowList(QMdiArea::StackingOrder);
        QCOMPARE(stacked.size(), 2);
        QCOMPARE(stacked.front(), first);
        QCOMPARE(area->activeSubWindow(), stacked.back());
        QCOMPARE(stacked.back()->pos(), first->pos());
        QCOMPARE(QString::fromStdString(Module2::strClassName), "Win32_" + second);
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(m_h->combo(n)->isEnabled(), n == 5);
    }

    void classThatCannotBeReadIsReportedWithoutAWindow_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("class deleted") << "class";
        QTest::newRow("namespace closed") << "namespace";
    }
    void classThatCannotBeReadIsReportedWithoutAWindow() {
        QFETCH(QString, fault);
        QVERIFY(m_h->start());
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\cimv2"));
        QVERIFY(test::pickWithMouse(m_h->combo(5), "BIOS"));
        const std::string page = readFile(m_h->pagePath());
        QVERIFY(page.find("Win32_BIOS") != std::string::npos);

        if (fault == "class")
            m_h->repo.store.deleteClass(m_h->repo.ns("root\\cimv2"), "Win32_Fan");
        else
            m_h->repo.restrict("root\\cimv2");
        QVERIFY(test::pickWithMouse(m_h->combo(5), "Fan"));
        QCOMPARE(m_h->errors.errors().size(), std::size_t(1));
        QCOMPARE(m_h->errors.errors().front().number(),
                 fault == "class" ? wbem::NotFound : wbem::AccessDenied);
        QCOMPARE(Module2::strClassName, std::string("Win32_Fan"));
        QCoreApplication::processEvents();
        QCOMPARE(m_h->window()->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(m_h->window()->findChildren<report::Form1*>().size(), 1);
        QCOMPARE(readFile(m_h->pagePath()), page);
        for (const auto& entry : std::filesystem::directory_iterator(m_h->pages.path()))
            QCOMPARE(QString::fromStdString(entry.path().filename().string()), QStringLiteral("Profile.htm"));

        // The program goes on.
        QVERIFY(test::pickWithMouse(m_h->combo(1), "root\\Alpha"));
        QVERIFY(test::pickWithMouse(m_h->combo(2), "Thing"));
        QCOMPARE(m_h->window()->mdiArea()->subWindowList().size(), 2);
    }

  private:
    std::unique_ptr<MainWindowHarness> m_h;
};

QTEST_MAIN(ListsTest)
#include "tst_lists.moc"
