#include "ErrorReport.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

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

void showCompileErrors(QWidget* parent, std::size_t errors, std::size_t warnings,
                       const std::vector<std::string>& diagnostics) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("CompileErrors"));
    dialog.setWindowTitle(QString::fromLatin1(ProgramTitle));
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QString summary = QStringLiteral("The MOF files did not compile: ") + count(errors, "error", "errors");
    if (warnings) summary += QStringLiteral(", ") + count(warnings, "warning", "warnings");
    auto* label = new QLabel(summary + QStringLiteral(". Nothing was opened."));
    auto* list = new QPlainTextEdit;
    list->setObjectName(QStringLiteral("Diagnostics"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QStringList lines;
    for (const std::string& line : diagnostics)
        lines << QString::fromStdString(line);
    list->setPlainText(lines.join(QLatin1Char('\n')));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(720, 360);
    dialog.exec();
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
