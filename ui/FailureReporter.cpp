#include "FailureReporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringDecoder>

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

QString MessageText(const char* bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes));
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}
