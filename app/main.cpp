#include "QDL4816U.h"

#include <QApplication>

#include <curl/curl.h>

namespace {

// libcurl is set up once, before anything could start a thread, and torn down last.
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

} // namespace

int main(int argc, char* argv[]) {
    CurlGlobal curl;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quadrel 4816"));
    TForm1 form;
    form.show();
    return application.exec();
}
