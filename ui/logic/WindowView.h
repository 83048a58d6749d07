#pragma once

#include "Conversions.h"

#include <functional>
#include <string>

namespace qdl::ui {

// The four connection boxes: address (Edit1), HTTP port (Edit2), user name (Edit3) and password
// (Edit4).
enum class Box { Edit1, Edit2, Edit3, Edit4 };

// What the window logic needs of a face: its controls' contents, the two kinds of message box,
// the desktop's browser and a way to run a device command without freezing the window. Texts are
// UTF-8. Outlets count 1 to 4, schedule rows 0 to 7 (slots 1A to 4B).
class WindowView {
public:
    virtual ~WindowView() = default;

    virtual std::string BoxText(Box box) const = 0;
    // As it stands: the password box's typing limit does not apply.
    virtual void SetBoxText(Box box, const std::string& text) = 0;

    // The outlet's inner indicator (PF1 to PF4) shows: the outlet counts as ON.
    virtual bool OutletOn(int outlet) const = 0;
    virtual void ShowOutlet(int outlet, bool on) = 0;
    // The device indicator PPW.
    virtual void ShowDeviceIndicator(bool shown) = 0;
    // The status bar's one panel.
    virtual void SetStatusText(const std::string& text) = 0;

    virtual Date RowDate(int row) const = 0;
    virtual Time RowTime(int row) const = 0;
    virtual int RowMode(int row) const = 0;  // repeat-mode list index; -1 for none
    virtual int RowOnOff(int row) const = 0; // on/off list index; -1 for none
    // False, and the picker keeps its date, when it cannot show this one.
    virtual bool SetRowDate(int row, const Date& date) = 0;
    virtual void SetRowTime(int row, const Time& time) = 0;
    // An index the list does not have leaves it with nothing selected.
    virtual void SetRowMode(int row, int index) = 0;
    virtual void SetRowOnOff(int row, int index) = 0;

    // A modal box with a stop icon and one OK button. The application's failure box is owned by
    // the window; the box of a page that could not be opened is centred on the screen.
    virtual void ShowFailureBox(const std::string& caption, const std::string& text) = 0;
    virtual void ShowUrlErrorBox(const std::string& caption, const std::string& text) = 0;

    // The shell's "open" on the address; false when it failed.
    virtual bool OpenPage(const std::string& url) = 0;

    // Runs one device command off the window's thread while the window keeps painting and holds
    // user input back; its result, or its failure, comes back as if it had run here.
    virtual bool RunCommand(const std::function<bool()>& command) = 0;

    virtual void CloseWindow() = 0;
    // A close was asked for while a command ran; it follows once the command ends, and what would
    // come after that command is left undone.
    virtual bool Closing() const { return false; }
};

} // namespace qdl::ui
