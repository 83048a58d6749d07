#include "FailureReporter.h"

#include <QMessageBox>
#include <QStringDecoder>

namespace {

void ShowFailureBox(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
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

void ReportFailure(const QString& caption, const QString& text) {
    CurrentReporter()(caption, text);
}

QString MessageText(const char* bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(bytes));
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}
