#include "DesktopOpener.h"

#include <QProcess>

// The freedesktop opener takes any text; only an opener that cannot be started is a failure.
bool OpenWithDesktop(const QString& url) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}
