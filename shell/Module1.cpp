#include "Module1.h"

#include <exception>

namespace Module1 {

bool Main(const morrowlen::nav::Locator& locator, morrowlen::shell::frmMain::Services services) {
    auto report = services.reportError;
    mainWindow = new morrowlen::shell::frmMain(locator, std::move(services));
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    bool loaded = false;
    morrowlen::shell::runHandler(report, [&] {
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

} // namespace Module1
