// qdl-qt-window (built as qt-window/QDL4816, the name that names its settings file): the real Qt window, as
// one window of its own process, for checks of two windows sharing one settings file. In the working folder
// it opens the window (reading QDL4816.ini), sets the HTTP port box to PORT unless it is "-", prints "ready",
// and closes the window when a line arrives on standard input, as its close button does. Each message box the
// window opens is printed as "box: TEXT" and answered OK, as its user would; "closed" follows when it has
// saved.
//
//   QDL4816 PORT
#include "QDL4816U.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <iostream>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quadrel 4816"));
    if (argc != 2) {
        std::cerr << "usage: QDL4816 PORT\n";
        return 2;
    }
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [] {
        for (QWidget* shown : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(shown); box && box->isVisible()) {
                std::cout << "box: " << box->text().toStdString() << std::endl;
                box->accept();
            }
    });
    answering.start(10);
    {
        TForm1 form;
        form.show();
        if (std::string(argv[1]) != "-")
            form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QString::fromUtf8(argv[1]));
        QSocketNotifier told(0, QSocketNotifier::Read);
        QObject::connect(&told, &QSocketNotifier::activated, &form, [&form, &told] {
            told.setEnabled(false);
            form.close();
        });
        std::cout << "ready" << std::endl;
        QApplication::exec();
    } // the window saves as it goes
    std::cout << "closed" << std::endl;
    return 0;
}
