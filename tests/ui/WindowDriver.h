#pragma once

#include "QDL4816U.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

// Finds the window's controls by their object names and clicks them as a user would.
class WindowDriver {
public:
    // The status bar shows the hint of the control under the pointer, and a window shown under it
    // gets it at once: every window starts with the pointer parked in the screen's corner, where
    // the centred window never is, wherever an earlier test or the display left it.
    static void ParkPointer() {
        QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
    }

    void Attach(TForm1* window) { driven_ = window; }

    template <typename T = QWidget> T* Find(const char* name) const {
        T* widget = driven_->findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr)
            qFatal("no control named %s", name);
        return widget;
    }

    void Click(const char* name) const { QTest::mouseClick(Find(name), Qt::LeftButton); }

    void ShowPage(int index) const {
        QTabBar* tabs = Find<QTabWidget>("PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    // An outlet shows ON when its inner indicator panel is shown.
    bool IsOn(int outlet) const {
        return !driven_->findChild<QWidget*>(QStringLiteral("PF%1").arg(outlet))->isHidden();
    }

private:
    TForm1* driven_ = nullptr;
};
