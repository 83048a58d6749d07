// The Win32 face itself, under wine: its controls as designed, its keyboard and focus rules, its
// hints and boxes, and each click reaching the window logic. What the logic decides is tested
// once, against a recording face (WindowLogicTest).
#include "Win32Window.h"
#include "ControlIds.h"
#include "FormParts.h"
#include "Layout.h"
#include "ScriptedSwitch.h"
#include "StartFolder.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <memory>

namespace qdl::test {
namespace {

using win32::TForm1;

struct Box {
    std::wstring Caption, Text;
    bool OnScreen;
};

std::string Outlets(const char* states) {
    std::string body = "<html>";
    for (int i = 0; i < 4; ++i)
        body += std::string(i ? "," : "") + "P6" + std::to_string(i) + "=" + states[i];
    return body + "</html>";
}

std::wstring TextOf(HWND control) {
    wchar_t text[512] = L"";
    GetWindowTextW(control, text, 512);
    return text;
}

// A control's place in its parent's client area.
RECT PlaceOf(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void Click(HWND control) {
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Everything posted to the window so far is handled.
void Settle() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

class Win32WindowTest : public testing::Test {
protected:
    Win32WindowTest() : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder.Path());
    }
    ~Win32WindowTest() override {
        window.reset();
        std::filesystem::current_path(saved_);
    }

    TForm1& Open() {
        win32::DesktopHooks hooks;
        hooks.ShowBox = [this](HWND, const std::wstring& caption, const std::wstring& text, bool onScreen) {
            boxes.push_back({caption, text, onScreen});
        };
        hooks.OpenPage = [this](const std::string& url, HWND) {
            pages.push_back(url);
            return browserWorks;
        };
        // The status bar takes the hint of the control under the pointer: the centred window starts
        // with the pointer in the screen's corner, wherever an earlier test left it.
        SetCursorPos(0, 0);
        window = std::make_unique<TForm1>(GetModuleHandleW(nullptr), hooks);
        ShowWindow(window->Handle(), SW_SHOWNORMAL);
        Settle();
        return *window;
    }
    HWND Control(int id) const { return window->Control(id); }
    void Type(int id, const std::wstring& text) { SetWindowTextW(Control(id), text.c_str()); }
    void AtTheSwitch() {
        Type(IDC_Edit1, L"127.0.0.1");
        Type(IDC_Edit2, std::to_wstring(device.Port()));
    }
    // The Schedule page's rows are made when it is first chosen; the switch answers every read.
    void ChooseSchedulePage() {
        AtTheSwitch();
        device.ReplyBody(Outlets("0000"));
        SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
        device.ReplyBody(Outlets("0000"));
        for (int row = 0; row < 8; ++row)
            device.ReplyBody("<html></html>");
        SendMessageW(Control(IDC_PageControl1), TCM_SETCURFOCUS, 1, 0);
        ASSERT_TRUE(boxes.empty());
    }
    bool On(int outlet) const {
        return (GetWindowLongPtrW(Control(win32::InnerPanel(outlet)), GWL_STYLE) & WS_VISIBLE) != 0;
    }

    TempFolder folder;
    ScriptedSwitch device;
    std::unique_ptr<TForm1> window;
    std::vector<Box> boxes;
    std::vector<std::string> pages;
    bool browserWorks = true;

private:
    std::filesystem::path saved_;
};

TEST_F(Win32WindowTest, TheWindowIsLaidOutAsDesignedAtNinetySixDpi) {
    Open();
    EXPECT_EQ(Control(IDC_DateTimePicker1), nullptr) << "the rows are made when the page is chosen";
    ChooseSchedulePage();
    ASSERT_EQ(window->Scaled(96), 96) << "the test display runs at 96 dpi";
    RECT client;
    GetClientRect(window->Handle(), &client);
    EXPECT_EQ(client.right, 417);
    EXPECT_EQ(client.bottom, 347);
    EXPECT_EQ(TextOf(window->Handle()), L"Quadrel 4816  Ver.0.1");
    const auto style = GetWindowLongPtrW(window->Handle(), GWL_STYLE);
    EXPECT_TRUE((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX));
    EXPECT_FALSE((style & WS_THICKFRAME) || (style & WS_MAXIMIZEBOX));
    for (const win32::ControlSpec& spec : win32::Controls()) {
        if (spec.What == win32::Kind::Page || spec.What == win32::Kind::List)
            continue;
        const RECT place = PlaceOf(Control(spec.Id));
        EXPECT_EQ(place.left, spec.X) << spec.Id;
        EXPECT_EQ(place.top, spec.Y) << spec.Id;
        EXPECT_EQ(place.right - place.left, spec.Width) << spec.Id;
        EXPECT_EQ(place.bottom - place.top, spec.Height) << spec.Id;
    }
    EXPECT_EQ(TextOf(Control(IDC_SpeedButton1)), L"Transmit");
    EXPECT_EQ(TextOf(Control(IDC_GroupBox1)), L" Network AC Power Control ");
    EXPECT_EQ(TextOf(Control(IDC_Memo1)),
              L" \r\n Maxi. rated voltage  : 250V AC , 24V DC\r\n\r\n Maxi. rated currency "
              L": Total     15A AC/DC \r\n                        individual 6A AC/DC  ");
    EXPECT_EQ(TextOf(Control(IDC_DateTimePicker7)), L"2006/11/27");
    EXPECT_EQ(TextOf(Control(IDC_DateTimePicker8)), L"08:05:05");
    EXPECT_EQ(window->StatusText(), L"Quadrel 4816 Ver.0.1  (C) Tarnwell");
    for (int outlet = 1; outlet <= 4; ++outlet)
        EXPECT_FALSE(On(outlet));
}

// Tab runs through the boxes and the schedule's rows; buttons, the memo and the tab control are
// no stops, and no click moves the focus.
TEST_F(Win32WindowTest, TheKeyboardAndTheFocusFollowTheDesign) {
    Open();
    ChooseSchedulePage();
    HWND window = this->window->Handle();
    EXPECT_EQ(GetNextDlgTabItem(window, Control(IDC_Edit1), FALSE), Control(IDC_Edit2));
    EXPECT_EQ(GetNextDlgTabItem(window, Control(IDC_Edit3), FALSE), Control(IDC_Edit4));
    for (int id : {IDC_SpeedButton1, IDC_SpeedButton3, IDC_SpeedButton5, IDC_Memo1, IDC_PageControl1})
        EXPECT_FALSE(GetWindowLongPtrW(Control(id), GWL_STYLE) & WS_TABSTOP) << id;
    for (int id : {IDC_Edit1, IDC_DateTimePicker1, IDC_DateTimePicker2, IDC_ComboBox1, IDC_ComboBox2})
        EXPECT_TRUE(GetWindowLongPtrW(Control(id), GWL_STYLE) & WS_TABSTOP) << id;
    EXPECT_TRUE(GetWindowLongPtrW(Control(IDC_PageControl1), GWL_STYLE) & TCS_FOCUSNEVER);
    EXPECT_TRUE(GetWindowLongPtrW(Control(IDC_Memo1), GWL_STYLE) & ES_READONLY);
    SetFocus(Control(IDC_Edit2));
    for (int id : {IDC_SpeedButton1, IDC_SpeedButton4, IDC_SpeedButton5})
        SetFocus(Control(id));
    EXPECT_EQ(GetFocus(), Control(IDC_Edit2)) << "a speed button gives the focus back";
}

TEST_F(Win32WindowTest, ThePasswordBoxLimitsTypingNotLoading) {
    WriteBytes(folder.File("win32_face_tests.ini"), "[win32_face_tests]\r\nPass=0123456789\r\n");
    Open();
    HWND password = Control(IDC_Edit4);
    EXPECT_EQ(TextOf(password), L"0123456789");
    EXPECT_EQ(SendMessageW(password, EM_GETLIMITTEXT, 0, 0), 8);
    SetWindowTextW(password, L"abcdefgh");
    SendMessageW(password, EM_SETSEL, 8, 8);
    SendMessageW(password, WM_CHAR, L'x', 0);
    EXPECT_EQ(TextOf(password), L"abcdefgh");
}

TEST_F(Win32WindowTest, ClicksReachTheLogicAndItsCommandsRunOffTheWindowsThread) {
    Open();
    AtTheSwitch();
    device.ReplyBody(Outlets("1001"));
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    EXPECT_TRUE(On(1) && !On(2) && !On(3) && On(4));
    EXPECT_TRUE(IsWindowEnabled(window->Handle()));
    device.ReplyBody(Outlets("1011"));
    Click(Control(win32::OuterPanel(3)));
    device.ReplyBody(Outlets("1011"));
    Click(Control(win32::InnerPanel(1)));
    std::vector<std::string> commands;
    for (const auto& request : device.Requests())
        commands.push_back(request.substr(0, request.find(" HTTP/")));
    EXPECT_EQ(commands, (std::vector<std::string>{"GET /Set.cmd?CMD=GetPower",
                                                  "GET /Set.cmd?CMD=SetPower+P60=1+P61=0+P62=1+P63=1",
                                                  "GET /Set.cmd?CMD=SetPower+P60=0+P61=0+P62=1+P63=1"}));
    EXPECT_EQ(window->StatusText(), L"+P60=0+P61=0+P62=1+P63=1");
    EXPECT_TRUE(boxes.empty());
}

// The schedule page loads when it is chosen; a date the picker cannot show, and a digit the list
// does not have, are told by reading the control back.
TEST_F(Win32WindowTest, TheSchedulePageLoadsItsRowsIntoTheControls) {
    Open();
    AtTheSwitch();
    device.ReplyBody(Outlets("0000"));
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    device.ReplyBody(Outlets("0000"));
    device.ReplyBody("<html>2007-03-05,15:30:00-127-1</html>");
    device.ReplyBody("<html>2026-01-02,23:59:59-003-2</html>");
    device.ReplyBody("<html>2-1-0005,23:59:59-003-2</html>");
    boxes.clear();
    SendMessageW(Control(IDC_PageControl1), TCM_SETCURFOCUS, 1, 0);
    EXPECT_TRUE(GetWindowLongPtrW(Control(IDC_TabSheet2), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(TextOf(Control(IDC_DateTimePicker1)), L"2007/03/05");
    EXPECT_EQ(TextOf(Control(IDC_DateTimePicker2)), L"15:30:00");
    EXPECT_EQ(SendMessageW(Control(IDC_ComboBox1), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Control(IDC_ComboBox2), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(Control(IDC_ComboBox3), CB_GETCURSEL, 0, 0), 0) << "code 3 is no mode";
    EXPECT_EQ(SendMessageW(Control(IDC_ComboBox4), CB_GETCURSEL, 0, 0), CB_ERR) << "digit 2 selects nothing";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, L"Quadrel 4816");
    EXPECT_EQ(boxes[0].Text, L"カレンダーに日付時刻を設定できません。.");
    EXPECT_EQ(TextOf(Control(IDC_DateTimePicker5)), L"2006/11/27") << "the picker keeps its date";
}

TEST_F(Win32WindowTest, FailuresAndPagesThatCannotBeOpenedShowTheirBoxes) {
    Open();
    const std::wstring closed = std::to_wstring(ClosedPort());
    Type(IDC_Edit1, L"127.0.0.1");
    Type(IDC_Edit2, closed);
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    browserWorks = false;
    SendMessageW(Control(IDC_SpeedButton2), BM_CLICK, 0, 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Caption, L"Quadrel 4816");
    EXPECT_EQ(boxes[0].Text, L"Socket Error # 10061\nConnection refused.");
    EXPECT_FALSE(boxes[0].OnScreen);
    EXPECT_EQ(boxes[1].Caption, L"エラー");
    EXPECT_EQ(boxes[1].Text, L"Error...http://127.0.0.1:" + closed);
    EXPECT_TRUE(boxes[1].OnScreen);
}

// The status bar takes the hint of the control under the pointer (or of the panel around it);
// hinted controls show it as a tool tip too.
TEST_F(Win32WindowTest, HintsFollowThePointerIntoTheStatusBarAndShowAsToolTips) {
    Open();
    auto pointAt = [&](int id) {
        RECT place;
        GetWindowRect(Control(id), &place);
        SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        window->FollowHint();
        return window->StatusText();
    };
    EXPECT_EQ(pointAt(IDC_SpeedButton1), L"アドレスを設定して現在の状態を取得します");
    EXPECT_EQ(pointAt(IDC_PB2), L"クリックすると状態を反転します");
    EXPECT_EQ(pointAt(IDC_SpeedButton3), L"");
    EXPECT_EQ(pointAt(IDC_SpeedButton6), L"現在の状態を取得します");
    HWND tips = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
    while (tips && GetWindow(tips, GW_OWNER) != window->Handle())
        tips = FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr);
    ASSERT_TRUE(tips);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 3 + 4 + 4);
}

// Typing while a command runs never reaches a box: what the box shows is what is saved.
TEST_F(Win32WindowTest, KeysWhileACommandRunsDoNotChangeTheBoxes) {
    Open();
    AtTheSwitch();
    ScriptedSwitch::Answer slow{"HTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r\n<html>P60=1</html>"};
    slow.Delay = std::chrono::milliseconds(300);
    device.Script(slow);
    SetFocus(Control(IDC_Edit3));
    for (wchar_t c : std::wstring(L"typed"))
        PostMessageW(Control(IDC_Edit3), WM_CHAR, c, 0);
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    EXPECT_TRUE(On(1)) << "the command ran";
    EXPECT_EQ(TextOf(Control(IDC_Edit3)), L"admin");
}

// The outlets' keys, which keep the indicators out of the tab order: the focus stays put, and
// on the Schedule page they switch nothing.
TEST_F(Win32WindowTest, CtrlAndANumberSwitchesThatOutletWhileItsPageShows) {
    TForm1& form = Open();
    AtTheSwitch();
    device.ReplyBody(Outlets("0000"));
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    SetFocus(Control(IDC_Edit3));
    auto press = [&form](bool control, wchar_t digit) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG key{GetFocus(), WM_KEYDOWN, digit, 0, 0, {}};
        const bool taken = form.OutletKey(key);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        return taken;
    };
    const struct {
        wchar_t Digit;
        const char* Sent;
    } presses[] = {{L'2', "GET /Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0"},
                   {L'4', "GET /Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=1"},
                   {L'2', "GET /Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=1"}};
    for (const auto& key : presses) {
        device.ReplyBody(Outlets("0000"));
        EXPECT_TRUE(press(true, key.Digit));
        EXPECT_EQ(device.Requests().back().substr(0, device.Requests().back().find(" HTTP/")), key.Sent);
        EXPECT_EQ(GetFocus(), Control(IDC_Edit3));
    }
    EXPECT_TRUE(!On(1) && !On(2) && !On(3) && On(4));
    EXPECT_FALSE(press(false, L'1')) << "a digit without Ctrl is typing";
    ChooseSchedulePage();
    const auto sent = device.Requests().size();
    press(true, L'1');
    EXPECT_EQ(device.Requests().size(), sent);
    EXPECT_TRUE(boxes.empty());
}

// An assistive tool's action arrives as a posted message, which the loop of a running command
// dispatches too: it waits for that command, then switches the outlet as it shows then.
TEST_F(Win32WindowTest, AToolsToggleThatComesWhileACommandRunsWaitsItsTurn) {
    Open();
    AtTheSwitch();
    ScriptedSwitch::Answer slow{"HTTP/1.1 200 OK\r\n\r\n" + Outlets("0100")};
    slow.Delay = std::chrono::milliseconds(300);
    device.Script(slow);
    device.ReplyBody(Outlets("0000"));
    PostMessageW(window->Handle(), win32::ToggleOutlet, 2, 0);
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    Settle();
    std::vector<std::string> commands;
    for (const auto& request : device.Requests())
        commands.push_back(request.substr(0, request.find(" HTTP/")));
    EXPECT_EQ(commands, (std::vector<std::string>{"GET /Set.cmd?CMD=GetPower",
                                                  "GET /Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0"}));
    EXPECT_TRUE(!On(1) && !On(2) && !On(3) && !On(4));
    EXPECT_TRUE(IsWindowEnabled(window->Handle()));
    EXPECT_TRUE(boxes.empty());
}

// The address box has the focus at start, and Tab moves it on without selecting a box's text.
TEST_F(Win32WindowTest, TabSelectsNothingAndTheAddressBoxHasTheFocusAtStart) {
    Open();
    SetActiveWindow(window->Handle());
    SendMessageW(window->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), Control(IDC_Edit1));
    for (int id : {IDC_Edit2, IDC_Edit3, IDC_Edit4}) {
        MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        ASSERT_TRUE(window->Navigate(tab));
        ASSERT_EQ(GetFocus(), Control(id));
        DWORD start = 1, end = 0;
        SendMessageW(Control(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, end) << "box " << id << " selects nothing";
    }
}

// A close request while a command runs waits for the command, then saves the boxes.
TEST_F(Win32WindowTest, ClosingWhileACommandRunsWaitsForItAndSavesTheBoxes) {
    Open();
    AtTheSwitch();
    ScriptedSwitch::Answer slow{"HTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r\n<html>P60=1</html>"};
    slow.Delay = std::chrono::milliseconds(300);
    device.Script(slow);
    PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
    SendMessageW(Control(IDC_SpeedButton1), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindow(window->Handle())) << "the command finished first";
    EXPECT_TRUE(On(1));
    Settle();
    EXPECT_FALSE(IsWindow(window->Handle()));
    EXPECT_EQ(ReadBytes(folder.File("win32_face_tests.ini")),
              "[win32_face_tests]\r\nIPV4=127.0.0.1\r\nPort=" + std::to_string(device.Port()) +
                  "\r\nUserName=admin\r\nPass=40617253\r\n\r\n");
}

// Every caption fits its control in the font the window found.
TEST_F(Win32WindowTest, EveryTextFitsItsControl) {
    Open();
    ChooseSchedulePage();
    for (const win32::ControlSpec& spec : win32::Controls()) {
        if (spec.What != win32::Kind::Label && spec.What != win32::Kind::Button)
            continue;
        HWND control = Control(spec.Id);
        const std::wstring text = TextOf(control);
        HDC dc = GetDC(control);
        const HGDIOBJ before =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE size;
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, before);
        ReleaseDC(control, dc);
        RECT room;
        GetClientRect(control, &room);
        // A button keeps three pixels clear on each side of its caption.
        const int padding = spec.What == win32::Kind::Button ? 6 : 0;
        EXPECT_LE(size.cx, room.right - padding) << spec.Id;
    }
}

// The installed copy started from its own folder (the Start menu's shortcut) goes to the settings
// folder of whoever started it; started anywhere else, or the portable copy anywhere, it stays.
TEST(StartFolderTest, EachUserStartedFromTheProgramsFolderGetsTheirOwnSettingsFolder) {
    const std::wstring program = L"C:\\Program Files\\Quadrel 4816";
    const struct {
        std::wstring StartedIn;
        std::optional<std::wstring> AppData;
        bool Installed;
        std::optional<std::wstring> Folder;
    } rows[] = {
        {program, L"C:\\users\\anna\\AppData\\Roaming", true,
         L"C:\\users\\anna\\AppData\\Roaming\\quadrel4816"},
        {L"c:\\program files\\QUADREL 4816\\", L"C:\\users\\ben\\AppData\\Roaming\\", true,
         L"C:\\users\\ben\\AppData\\Roaming\\quadrel4816"},
        {L"C:\\work", L"C:\\users\\anna\\AppData\\Roaming", true, std::nullopt},
        {program, std::nullopt, true, std::nullopt},
        {program, L"C:\\users\\anna\\AppData\\Roaming", false, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(win32::SettingsFolderFor(row.StartedIn, program, row.AppData, row.Installed), row.Folder)
            << testing::PrintToString(row.StartedIn) << row.Installed;
}

} // namespace
} // namespace qdl::test
