#include "ErrorReport.h"

#include <QMessageBox>

#include <exception>
#include <new>

namespace morrowlen::shell {

QString errorReportText(const Error& error) {
    const auto signedNumber = static_cast<std::int32_t>(error.number());
    const QString hex = QString::number(error.number(), 16).toUpper().rightJustified(8, QLatin1Char('0'));
    return QStringLiteral("Error %1 (0x%2)\n\n%3")
        .arg(signedNumber)
        .arg(hex, QString::fromStdString(error.description()));
}

void showErrorReport(QWidget* parent, const Error& error) {
    QMessageBox::critical(parent, QString::fromLatin1(ProgramTitle), errorReportText(error));
}

void runHandler(const ErrorReporter& report, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& e) {
        report(e);
    } catch (const std::bad_alloc&) {
        report(Error(runtime::OutOfMemory, "Out of memory"));
    } catch (const std::exception& e) {
        report(Error(wbem::Failed, e.what()));
    }
}

} // namespace morrowlen::shell
