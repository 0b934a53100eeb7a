#pragma once
#include "repository/core/Error.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace morrowlen::shell {

// The program's title: the main window's caption, the title of error reports and the application
// name the placement is saved under. Fixed here so that it never depends on how the process started.
inline constexpr const char* ProgramTitle = "Morrowlen";

// "Error -2147217394 (0x8004100E)" and the description, as the report shows them.
QString errorReportText(const Error& error);

// Shows an error to the user: a message box titled with the program's title.
void showErrorReport(QWidget* parent, const Error& error);

// Shows why MOF files given to the program did not compile: one dialog listing every diagnostic.
// Returns when the user closes it.
void showCompileErrors(QWidget* parent, std::size_t errors, std::size_t warnings,
                       const std::vector<std::string>& diagnostics);

// How windows report an error that escapes one of their handlers. Tests replace it.
using ErrorReporter = std::function<void(const Error&)>;

// Runs a handler; an error that escapes it is reported and the handler ends there.
void runHandler(const ErrorReporter& report, const std::function<void()>& handler);

} // namespace morrowlen::shell
