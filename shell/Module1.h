#pragma once
// Start-up: the process, the repository, the services the windows use, and the main window.
#include "CommandLine.h"
#include "frmMain.h"
#include "repository/store/ClassStore.h"

#include <QPointer>

#include <optional>

namespace Module1 {

// The one main window, held here for the whole run; null again once the window has gone.
inline QPointer<morrowlen::shell::frmMain> mainWindow;

// What one run of the program works with. Not movable: the locator refers to the store.
struct Session {
    std::optional<morrowlen::repo::ClassStore> store;
    std::optional<morrowlen::nav::Locator> locator;
    morrowlen::shell::frmMain::Services services;
    int exitStatus = 0; // what the program ends with when the session could not be opened
};

// The process settings Qt WebEngine needs, made before the application object exists.
void PrepareProcess();
// The application's names, once the application object exists.
void NameApplication();

// Opens the repository the options name (by default the user's, created when missing; MOF files
// are compiled into one in memory), chooses the page folder and the example server's program, and
// creates the services. A failure is reported, session.exitStatus says how the program ends, and
// the result is false.
bool OpenSession(Session& session, const morrowlen::shell::StartOptions& options = {});

// Creates the main window, loads it (which walks the namespaces) and shows it. A failure is
// reported and the result is false: the program then ends.
bool LoadMainWindow(const morrowlen::nav::Locator& locator, morrowlen::shell::frmMain::Services services);

// The program: all of the above, then the event loop. Returns the exit status.
int Main(int argc, char** argv);

} // namespace Module1
