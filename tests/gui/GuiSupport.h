#pragma once
// What the window tests share: recording stand-ins for the browsers, the settings store and the
// error report, a repository with a few namespaces and classes, and user-like list picks.
#include "navigation/WmiOperations.h"
#include "report/BrowserView.h"
#include "repository/core/Error.h"
#include "shell/Settings.h"
#include "shell/frmMain.h"
#include "tests/support/TestRepository.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;

namespace morrowlen::test {

// Run from initMain(), before the application object exists: lets Qt WebEngine start as root and
// without a GPU, and shares OpenGL contexts as Qt WebEngine requires.
void prepareWebEngine();

// Run from initTestCase(): drops the offscreen platform's notes on what it cannot do (raise,
// keyboard grabs, size hints), which say nothing about the program.
void quietPlatformNotes();

// One navigation as a browser received it.
struct Navigation {
    QString browser; // object name of the browser widget at the time of the call
    QString address;
};

// A browser that only records; its widget is the browser itself, as with the real view.
class RecordingBrowser : public QWidget, public report::BrowserView {
  public:
    RecordingBrowser(QWidget* parent, std::shared_ptr<std::vector<Navigation>> log);
    void navigate(const std::string& address) override;
    QWidget* widget() override { return this; }
    void setScriptsEnabled(bool enabled) override { m_scripts = enabled; }

    bool scriptsEnabled() const { return m_scripts; }
    QStringList addresses() const { return m_addresses; }

  private:
    std::shared_ptr<std::vector<Navigation>> m_log;
    QStringList m_addresses;
    bool m_scripts = true;
};

// Hands out recording browsers and keeps one log of all their navigations, in call order.
class BrowserRecorder {
  public:
    report::BrowserFactory factory();
    const std::vector<Navigation>& log() const { return *m_log; }
    void clear() { m_log->clear(); }

  private:
    std::shared_ptr<std::vector<Navigation>> m_log = std::make_shared<std::vector<Navigation>>();
};

struct SavedSetting {
    QString appName, section, key, value;
};

// Keeps every value stored; throws at the key named in failAt, once it is reached.
class RecordingSettings : public shell::SettingsStore {
  public:
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
    QString value(const QString& key) const; // the last value stored under key, null when none

    std::vector<SavedSetting> saved;
    QString failAt;
};

class ErrorRecorder {
  public:
    std::function<void(const Error&)> reporter();
    const std::vector<Error>& errors() const { return *m_errors; }

  private:
    std::shared_ptr<std::vector<Error>> m_errors = std::make_shared<std::vector<Error>>();
};

// A repository file in a temporary folder with:
//   root\cimv2      CIM_Disk, CIM_Fan, MSFT_Provider, Msft_Tool, Win32_BIOS, Win32_PerfRaw,
//                   Win32_Fan, Widget, cim_lower, Other_Thing
//   root\default    no classes of its own
//   root\Alpha      CIM_Thing, Gadget
//   root\secret\inner, root\zeta, root\Zulu (created after the others, in this order)
// Win32_BIOS has the properties Manufacturer (MaxLen 64), Name and Version, each with a
// description. Nothing is restricted until a test restricts it.
struct SampleRepository {
    SampleRepository();
    repo::NamespaceId ns(const std::string& path) const;
    // Only administrators may open the namespace from now on.
    void restrict(const std::string& path);

    TempDir dir;
    repo::ClassStore store;
};

// The main window started as the program starts it (Module1::LoadMainWindow), over a SampleRepository read
// by an ordinary user, with recording browsers (unless told otherwise), settings and error
// report. The window, when still there, goes with the harness.
class MainWindowHarness {
  public:
    // Over the given repository instead of the sample one, when one is given.
    explicit MainWindowHarness(const repo::ClassStore* store = nullptr);
    ~MainWindowHarness();
    MainWindowHarness(const MainWindowHarness&) = delete;
    MainWindowHarness& operator=(const MainWindowHarness&) = delete;

    shell::frmMain::Services services();
    // Runs the start-up procedure; false when it failed.
    bool start();
    shell::frmMain* window() const;
    shell::ComboList* combo(int n) const { return window()->Combo(n); }
    std::filesystem::path pagePath() const;

    SampleRepository repo;
    nav::Locator locator;
    BrowserRecorder browsers;
    report::BrowserFactory browserFactory; // the recorder's when empty
    RecordingSettings settings;
    shell::SettingsStore* settingsStore = &settings;
    ErrorRecorder errors;
    TempDir pages;
    std::string exampleServer = "examples.test:8642";
    examples::ServerProgram exampleProgram; // none: nothing is started
};

// The object name of the list that holds the keyboard focus, empty when none does.
QString focusedList();

// The items a list shows, in order.
QStringList itemTexts(const QComboBox* combo);

// Picks an item as a user does with the mouse: opens the drop-down and clicks the item.
// Returns false when the item is not in the list or the list cannot be opened.
bool pickWithMouse(QComboBox* combo, const QString& item);

} // namespace morrowlen::test
