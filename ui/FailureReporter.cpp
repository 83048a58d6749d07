#include "FailureReporter.h"

#include <QApplication>
#include <QMessageBox>

namespace {

void ShowFailureBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), MessageBoxText(message),
                    QMessageBox::Ok);
    box.exec();
}

FailureReporter& CurrentReporter() {
    static FailureReporter reporter = ShowFailureBox;
    return reporter;
}

} // namespace

void SetFailureReporter(FailureReporter reporter) {
    CurrentReporter() = reporter ? std::move(reporter) : ShowFailureBox;
}

void ReportFailure(const QString& message) {
    CurrentReporter()(message);
}

QString MessageBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}
