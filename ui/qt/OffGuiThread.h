#pragma once

#include <QEventLoop>

#include <future>

// Runs one device command on a worker thread while this thread goes on painting. User input
// (mouse, keys, a close request from the window manager) stays queued until the command has
// ended, so the window still takes one thing at a time, in the same order, only without
// freezing. The command's result, or its failure, comes back as if it had run here.
template <typename Command> auto RunOffGuiThread(Command&& command) -> decltype(command()) {
    QEventLoop loop;
    auto result = std::async(std::launch::async, [&] {
        struct QuitWhenDone {
            QEventLoop& Loop;
            ~QuitWhenDone() { QMetaObject::invokeMethod(&Loop, &QEventLoop::quit, Qt::QueuedConnection); }
        } quit{loop};
        return command();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result.get();
}
