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

// Lifts the wait cursor while a dialog waits for the user, and puts it back afterwards.
class NormalCursor {
public:
    NormalCursor() {
        for (; QApplication::overrideCursor() != nullptr; ++lifted_)
            QApplication::restoreOverrideCursor();
    }
    ~NormalCursor() {
        for (int i = 0; i < lifted_; ++i)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    NormalCursor(const NormalCursor&) = delete;
    NormalCursor& operator=(const NormalCursor&) = delete;

private:
    int lifted_ = 0;
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
        failure = MessageText(error.what());
    } catch (...) {
        failure = QStringLiteral("Unknown failure");
    }
    ReportFailure(failure);
}
