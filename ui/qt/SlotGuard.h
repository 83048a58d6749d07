#pragma once

#include "FailureIn.h"
#include "FailureReporter.h"
#include "WindowLogic.h"

#include <QApplication>
#include <QCursor>

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

// Runs one event handler with the wait cursor showing, so that no exception crosses Qt's frames:
// the logic's handlers report their own failures; one of the face's own ends the handler and goes
// to the failure reporter as well, and the program carries on.
template <typename Handler> void RunGuarded(Handler&& handler) {
    const auto failure = qdl::ui::FailureIn([&handler] {
        BusyCursor busy;
        handler();
    });
    if (failure)
        ReportFailure(QString::fromUtf8(qdl::ui::WindowLogic::ApplicationTitle),
                      MessageText(qdl::ui::WindowLogic::MessageBoxText(*failure).c_str()));
}
