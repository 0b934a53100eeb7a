#pragma once
// The main window: the namespace list and the five class lists on a panel, the area in which
// report and example windows open, the status bar and the menus.
#include "ClockStatusBar.h"
#include "ComboList.h"
#include "ErrorReport.h"
#include "Settings.h"
#include "examples/ExampleServer.h"
#include "navigation/ClassCatalogue.h"
#include "navigation/WmiOperations.h"
#include "report/BrowserView.h"

#include <QMainWindow>

#include <filesystem>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QMdiSubWindow;

namespace morrowlen::shell {

class frmMain : public QMainWindow {
    Q_OBJECT
  public:
    struct Services {
        report::BrowserFactory browsers;        // the browsers of report and example windows
        std::filesystem::path pageFolder;       // where the profile page is written
        SettingsStore* settings = nullptr;      // where the placement is saved
        ErrorReporter reportError;              // how an escaped error is shown
        ClockStatusBar::Clock clock;            // the status bar's clock
        std::string exampleServer;              // host[:port] of the example packs
        examples::ServerProgram exampleProgram; // how the program serves them itself
    };

    frmMain(const nav::Locator& locator, Services services, QWidget* parent = nullptr);

    // The load handler; throws when the root namespace cannot be walked.
    void MDIForm_Load();
    void MDIForm_Unload(int& cancel);
    void EnumNameSpaces(const std::string& strNameSpace);

    void Combo1_Click();
    void Combo2_Click() { classPick(0); }
    void Combo3_Click() { classPick(1); }
    void Combo4_Click() { classPick(2); }
    void Combo5_Click() { classPick(3); }
    void Combo6_Click() { classPick(4); }
    void mnuFileExit_Click();
    void mnunoscript_Click() { openExample(0); }
    void mnujscript_Click() { openExample(1); }
    void mnuvbscript_Click() { openExample(2); }

    ComboList* Combo(int n) const { return m_combos[n - 1]; } // 1 .. 6
    QMdiArea* mdiArea() const { return m_mdi; }
    ClockStatusBar* sbStatusBar() const { return m_status; }
    // The example server, once an example command has been used; null before.
    examples::ExampleServer* exampleServer() const { return m_exampleServer.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // Places the window's outer frame, made to fit the available screen area.
    void setPlacement(const QRect& outer);
    // Sizes the window inside the frame as now known; true when the frame was new.
    bool fitFrame();
    void buildPanel();
    void buildMenus();
    nav::ClassLists classLists() const;
    void classPick(int list);
    void openReport();
    void openExample(int pack);
    QMdiSubWindow* addChild(QWidget* child, const QString& title);
    // Adds the window as a child, loads it (discarding it should the load fail) and shows it.
    template <typename Form> void loadAndShow(Form* form, const QString& title);
    void handle(const std::function<void()>& handler) { runHandler(m_services.reportError, handler); }

    const nav::Locator* m_locator;
    Services m_services;
    QWidget* m_panel = nullptr;
    ComboList* m_combos[6] = {};
    QMdiArea* m_mdi = nullptr;
    ClockStatusBar* m_status = nullptr;
    std::unique_ptr<examples::ExampleServer> m_exampleServer;
    QRect m_outer;          // the outer placement asked for, fitted to the screen
    QMargins m_frame;       // the frame it was last fitted with
    bool m_placing = false; // until the window manager's frame has been seen
};

} // namespace morrowlen::shell
