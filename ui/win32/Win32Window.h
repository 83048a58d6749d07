#pragma once

// The program's one window on Windows, in plain Win32 with the common controls of version 6.
// What the window decides lives in WindowLogic, shared with the Qt face; this class is the face:
// it makes the controls (Layout.cpp, scaled for the monitor's DPI) with the texts of the resource
// script, shows what the logic asks through WindowView, and hands each click to the logic. Its
// window procedure only dispatches, one small handler per message. A device command runs on a
// worker thread while the window is disabled but keeps painting; its end is posted back.

#include "Handles.h"
#include "WindowLogic.h"
#include "WindowView.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>

namespace qdl::win32 {

// How the window reaches the user and the desktop; tests replace these to stay off real boxes
// and the browser.
struct DesktopHooks {
    // A modal box with a stop icon and OK; centred on the screen and owned by nobody when
    // `onScreen`, else owned by the window.
    std::function<void(HWND owner, const std::wstring& caption, const std::wstring& text, bool onScreen)>
        ShowBox;
    std::function<bool(const std::string& url, HWND owner)> OpenPage;
};

class TForm1 : private ui::WindowView {
public:
    explicit TForm1(HINSTANCE instance, DesktopHooks hooks = {});
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return window_; }
    HWND Control(int id) const; // nothing when it was not made yet
    ui::WindowLogic& Logic() { return logic_; }
    std::wstring StatusText() const;
    // The pixels of a length as designed at 96 dpi, on this window's monitor.
    int Scaled(int length) const;

    // Runs the message loop until the window is closed; returns the exit code.
    int Run();
    // Whether this message belongs to the window's keyboard navigation, which then took it.
    bool Navigate(MSG& message);
    // Whether this message is one of the outlets' keys (Ctrl+1 to Ctrl+4), which then took it.
    bool OutletKey(MSG& message);
    // The status bar follows the hint of the control under the pointer while the program is idle.
    void FollowHint();

private:
    friend LRESULT CALLBACK FormProcedure(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK PageProcedure(HWND, UINT, WPARAM, LPARAM);

    // Message handlers
    LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnCreate(HWND window);
    void OnCommand(int id, HWND control, UINT code);
    LRESULT OnNotify(int id, NMHDR* header);
    HBRUSH OnControlColour(HDC dc, HWND control);
    void OnClose();
    void OnEndSession(bool ending);
    void OnActivate(UINT state);
    void OnDestroy();
    void OnMenuSelect(HMENU menu, int item, UINT flags);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void OnToggleOutlet(int outlet);
    void TakeNextToggle();

    void CreateControls();
    void BuildSchedulePage();
    void CreateControl(const struct ControlSpec& spec);
    void SetUpControl(HWND control, const struct ControlSpec& spec);
    void MakeFonts();
    void SetFont(int id, bool redraw);
    void Rescale();
    RECT PlaceOf(const struct ControlSpec& spec) const;
    void PlaceControl(const struct ControlSpec& spec);
    void AddToolTips();
    void ShowPage(int index);
    std::wstring Caption(int id) const;
    std::wstring HintOf(HWND control) const;
    void SetStatus(const std::wstring& text);

    // WindowView
    std::string BoxText(ui::Box box) const override;
    void SetBoxText(ui::Box box, const std::string& text) override;
    bool OutletOn(int outlet) const override;
    void ShowOutlet(int outlet, bool on) override;
    void ShowDeviceIndicator(bool shown) override;
    void SetStatusText(const std::string& text) override;
    Date RowDate(int row) const override;
    Time RowTime(int row) const override;
    int RowMode(int row) const override;
    int RowOnOff(int row) const override;
    bool SetRowDate(int row, const Date& date) override;
    void SetRowTime(int row, const Time& time) override;
    void SetRowMode(int row, int index) override;
    void SetRowOnOff(int row, int index) override;
    void ShowFailureBox(const std::string& caption, const std::string& text) override;
    void ShowUrlErrorBox(const std::string& caption, const std::string& text) override;
    bool OpenPage(const std::string& url) override;
    bool RunCommand(const std::function<bool()>& command) override;
    void CloseWindow() override;
    bool Closing() const override { return closePending_; }

    ComApartment com_;
    HINSTANCE instance_;
    HACCEL outletKeys_ = nullptr;
    DesktopHooks hooks_;
    HWND window_ = nullptr;
    std::map<int, HWND> controls_;
    HWND toolTips_ = nullptr;
    UINT dpi_ = 96;
    Font windowFont_;
    Font memoFont_;
    Brush white_;
    Brush face_;
    std::wstring lastHint_;
    bool commandRunning_ = false;
    bool closePending_ = false;
    bool created_ = false; // the constructor, and its start-up, are done
    DWORD createdAt_ = 0;  // when, in the system's ticks
    bool closed_ = false;
    bool running_ = false; // Run() owns the message loop, which WM_QUIT ends
    HWND lastFocus_ = nullptr;
    int handling_ = 0;               // handlers on the stack: a box or a command waits in one
    std::deque<int> waitingToggles_; // assistive tools' toggles that came meanwhile
    ui::WindowLogic logic_;
};

} // namespace qdl::win32
