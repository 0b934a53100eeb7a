#include "GuiSupport.h"

#include "navigation/Module2.h"
#include "shell/Module1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QTest>

#include <cstdlib>

namespace morrowlen::test {

void prepareWebEngine() {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu --disable-dev-shm-usage");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

namespace {
QtMessageHandler previousHandler = nullptr;
void dropPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) return;
    previousHandler(type, context, message);
}
} // namespace

void quietPlatformNotes() {
    if (!previousHandler) previousHandler = qInstallMessageHandler(dropPlatformNotes);
}

RecordingBrowser::RecordingBrowser(QWidget* parent, std::shared_ptr<std::vector<Navigation>> log)
    : QWidget(parent), m_log(std::move(log)) {}

void RecordingBrowser::navigate(const std::string& address) {
    const QString text = QString::fromStdString(address);
    m_addresses.push_back(text);
    m_log->push_back({objectName(), text});
}

report::BrowserFactory BrowserRecorder::factory() {
    return
        [log = m_log](QWidget* parent) -> report::BrowserView* { return new RecordingBrowser(parent, log); };
}

void RecordingSettings::SaveSetting(const QString& appName, const QString& section, const QString& key,
                                    const QString& value) {
    if (!failAt.isEmpty() && key == failAt)
        throw Error(runtime::PathFileAccessError, "Path/File access error");
    saved.push_back({appName, section, key, value});
}

QString RecordingSettings::value(const QString& key) const {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
        if (it->key == key) return it->value;
    return {};
}

std::function<void(const Error&)> ErrorRecorder::reporter() {
    return [errors = m_errors](const Error& e) { errors->push_back(e); };
}

namespace {
repo::PropertyDef describedProperty(const std::string& name, repo::CimType type,
                                    const std::string& description) {
    return property(name, type, {stringQualifier("Description", description)});
}
} // namespace

SampleRepository::SampleRepository()
    : store(
          repo::ClassStore::open((dir / "repository.sqlite").string(), repo::ClassStore::OpenMode::Create)) {
    // The system classes every namespace shares, as the default repository has them.
    store.putClass(store.systemNamespace(), makeClass("__SystemClass", ""));
    store.putClass(store.systemNamespace(),
                   makeClass("__NAMESPACE", "__SystemClass", {property("Name", repo::CimType::String)}));
    const repo::NamespaceId cimv2 = ensureNamespace(store, "root\\cimv2");
    ensureNamespace(store, "root\\default");
    const repo::NamespaceId alpha = ensureNamespace(store, "root\\Alpha");
    ensureNamespace(store, "root\\secret\\inner");
    ensureNamespace(store, "root\\zeta");
    ensureNamespace(store, "root\\Zulu");

    auto bios = makeClass("Win32_BIOS", "",
                          {describedProperty("Version", repo::CimType::String, "The version of the BIOS."),
                           describedProperty("Manufacturer", repo::CimType::String, "Who made the BIOS."),
                           describedProperty("Name", repo::CimType::String, "The name of the BIOS.")});
    bios.properties[1].qualifiers.push_back(intQualifier("MaxLen", 64));
    store.putClass(cimv2, bios);
    for (const char* name : {"CIM_Disk", "CIM_Fan", "MSFT_Provider", "Msft_Tool", "Win32_PerfRaw",
                             "Win32_Fan", "Widget", "cim_lower", "Other_Thing"})
        store.putClass(
            cimv2, makeClass(name, "", {describedProperty("Caption", repo::CimType::String, "A caption.")}));
    store.putClass(alpha, makeClass("CIM_Thing", ""));
    store.putClass(alpha, makeClass("Gadget", ""));
}

repo::NamespaceId SampleRepository::ns(const std::string& path) const {
    return *store.findNamespace(path);
}

void SampleRepository::restrict(const std::string& path) {
    store.setNamespaceAccess(ns(path), std::vector<std::string>{});
}

MainWindowHarness::MainWindowHarness(const repo::ClassStore* store)
    : locator(store ? *store : repo.store, ordinaryUser()) {
    Module2::strCurrentNamespace.clear();
    Module2::strClassName.clear();
}

MainWindowHarness::~MainWindowHarness() {
    delete Module1::mainWindow.data();
}

shell::frmMain::Services MainWindowHarness::services() {
    shell::frmMain::Services s;
    s.browsers = browserFactory ? browserFactory : browsers.factory();
    s.pageFolder = pages.path();
    s.settings = settingsStore;
    s.reportError = errors.reporter();
    s.exampleServer = exampleServer;
    s.exampleProgram = exampleProgram;
    return s;
}

bool MainWindowHarness::start() {
    if (Module1::LoadMainWindow(locator, services())) return true;
    for (const Error& e : errors.errors())
        qWarning("start-up failed: %x %s", e.number(), e.description().c_str());
    return false;
}

shell::frmMain* MainWindowHarness::window() const {
    return Module1::mainWindow;
}

std::filesystem::path MainWindowHarness::pagePath() const {
    return pages.path() / "Profile.htm";
}

QString focusedList() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->objectName();
    return {};
}

QStringList itemTexts(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(combo->itemText(i));
    return items;
}

bool pickWithMouse(QComboBox* combo, const QString& item) {
    const int row = combo->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (row < 0 || !combo->isEnabled()) return false;
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    if (!QTest::qWaitForWindowExposed(view->window())) return false;
    const QModelIndex index = combo->model()->index(row, combo->modelColumn(), combo->rootModelIndex());
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    return !view->isVisible();
}

} // namespace morrowlen::test
