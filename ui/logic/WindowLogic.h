#pragma once

// What the window decides, the same for every face: start-up and shutdown with the settings
// file, the connection-field rule, the outlet page, the schedule page, the web links, every
// failure text and message-box caption. A face (Qt on Linux, Win32 on Windows) owns the controls,
// implements WindowView, and calls the event handlers below; each handler ends at its first
// failure, which goes to the failure box, and the window carries on.

#include "HttpClient.h"
#include "ReplyList.h"
#include "SettingsRecord.h"
#include "WindowView.h"

#include <string>

namespace qdl::ui {

class WindowLogic {
public:
    // `programName`: the program file's name without folder and extension ("QDL4816"), which
    // names the settings file and its section.
    WindowLogic(WindowView& view, const std::string& programName);

    static const char* const ApplicationTitle;
    static const char* const UrlErrorCaption;
    static const char* const TarnwellHomepage;
    static const char* const CorvantiHomepage;
    static std::string CreditLine();
    // The failure box's text: a full stop is appended when the last character sorts after "."
    // (letters, digits, "/", ":", "?" and wide characters), not after punctuation or a blank.
    static std::string MessageBoxText(const std::string& message);

    // The event handlers.
    void FormCreate();
    void FormDestroy();
    void CloseX1Click();
    void Tarnwell1Click();
    void Corvanti1Click();
    void SpeedButton1Click(); // Transmit
    void SpeedButton2Click(); // Web Control
    void PB1Click(int outlet);
    void PF1Click(int outlet);
    void SpeedButton3Click(); // All On
    void SpeedButton4Click(); // All Off
    void SpeedButton6Click(); // Refresh
    void PageControl1Change(int index);
    void SpeedButton5Click(); // Submit

    // The window's operations, as the handlers use them; each may fail.
    bool OpenUrl(const std::string& url);
    bool RefreshOutletStates();
    bool SendOutletStates();
    void ShowCommandResult(const std::string& states, bool ok);
    bool LoadScheduleRow(int row);
    bool SubmitScheduleRow(int row);

    // The connection fields every command uses.
    const std::string& DeviceHost() const { return FDeviceHost; }
    int DevicePort() const { return FDevicePort; }
    const std::string& SettingsFile() const { return IniFileName; }

private:
    template <typename Handler> void Guarded(Handler&& handler);
    void ApplyConnectionFields();
    void LoadConnectionBoxes();
    void SwitchAll(const std::string& states);

    WindowView& view_;
    const std::string IniFileName;
    const std::string IniSection;
    SettingsRecord record_;

    HttpClient IdHTTP1;
    ReplyList FReplyList;
    std::string FDeviceHost;
    int FDevicePort = 80;
    std::string FDeviceUser;
    std::string FDevicePassword;
    bool keepSettingsFile_ = false; // it was there but could not be read
};

} // namespace qdl::ui
