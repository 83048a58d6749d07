// qdl-settings-window: the window's logic with a recording face, as one window of its own process,
// for checks of several windows sharing one settings file. In the working folder it starts
// (reading QDL4816.ini), prints "ready", sets the boxes given, waits for a line on standard input,
// closes (saving), and prints each message box it would have shown as "box: TEXT".
//
//   qdl-settings-window ADDRESS [USER-NAME]      ("-" keeps what the file holds)
#include "RecordingView.h"
#include "WindowLogic.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: qdl-settings-window ADDRESS [USER-NAME]\n";
        return 2;
    }
    qdl::test::RecordingView view;
    qdl::ui::WindowLogic window(view, "QDL4816");
    window.FormCreate();
    std::cout << "ready" << std::endl;
    if (std::string(argv[1]) != "-")
        view.Boxes[qdl::ui::Box::Edit1] = argv[1];
    if (argc > 2 && std::string(argv[2]) != "-")
        view.Boxes[qdl::ui::Box::Edit3] = argv[2];
    std::string go;
    std::getline(std::cin, go);
    window.FormDestroy();
    for (const std::string& box : view.Failures)
        std::cout << "box: " << box.substr(box.find('|') + 1) << "\n";
    return 0;
}
