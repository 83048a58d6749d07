#pragma once

#include "FailureReporter.h"

#include <QApplication>
#include <QCursor>

#include <exception>

// Shows the wait cursor while a handler talks to the switch.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Runs one event handler so that no exception crosses Qt's frames: a failure ends the handler
// and goes to the failure reporter, and the program carries on.
template <typename Handler> void RunGuarded(Handler&& handler) {
    QString failure;
    try {
        BusyCursor busy;
        handler();
        return;
    } catch (const std::exception& error) {
        failure = QString::fromStdString(error.what());
    } catch (...) {
        failure = QStringLiteral("Unknown failure");
    }
    ReportFailure(failure);
}
