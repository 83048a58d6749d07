// The yardstick for the window's start-up: a bare Qt main window showing one line of text in
// the window's Japanese font, and nothing else.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QMainWindow window;
    QFont font;
    font.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(13);
    window.setFont(font);
    window.setCentralWidget(new QLabel(QStringLiteral("Quadrel 4816 スイッチ"), &window));
    window.resize(417, 366);
    window.show();
    return application.exec();
}
