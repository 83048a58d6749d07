#include "QDL4816U.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quadrel 4816"));
    TForm1 form;
    form.show();
    return application.exec();
}
