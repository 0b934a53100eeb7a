#pragma once
#include "frmMain.h"

#include <QPointer>

namespace Module1 {

// The one main window, held here for the whole run; null again once the window has gone.
inline QPointer<morrowlen::shell::frmMain> mainWindow;

// Creates the main window, loads it (which walks the namespaces) and shows it. A failure is
// reported and the result is false: the program then ends.
bool Main(const morrowlen::nav::Locator& locator, morrowlen::shell::frmMain::Services services);

} // namespace Module1
