#include "WindowLogic.h"

#include "CommaText.h"
#include "FailureIn.h"
#include "FormatSettings.h"
#include "IniU.h"
#include "Outlets.h"
#include "QDLHttpU.h"
#include "RepeatCode.h"
#include "Schedule.h"
#include "ScheduleReply.h"
#include "SettingsFile.h"
#include "SwitchTarget.h"
#include "TextUtil.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <utility>

namespace qdl::ui {
namespace {

const char* const OutletNames[] = {"P60", "P61", "P62", "P63"};

// The keys of the settings file, by the box each one fills.
const std::pair<Box, const char*> Keys[] = {
    {Box::Edit1, "IPV4"}, {Box::Edit2, "Port"}, {Box::Edit3, "UserName"}, {Box::Edit4, "Pass"}};

std::string AllOutlets(bool on) {
    control::OutletStates states;
    states.fill(on);
    return control::StateString(states);
}

std::string TwoDigits(int value) {
    return Format("%02d", value);
}

} // namespace

const char* const WindowLogic::ApplicationTitle = "Quadrel 4816";
const char* const WindowLogic::UrlErrorCaption = "エラー";
const char* const WindowLogic::TarnwellHomepage = "https://www.tarnwell.example/";
const char* const WindowLogic::CorvantiHomepage = "https://www.corvanti.example/";

WindowLogic::WindowLogic(WindowView& view, const std::string& programName)
    : view_(view), IniFileName(programName + ".ini"), IniSection(programName),
      record_(IniFileName, IniSection) {}

std::string WindowLogic::CreditLine() {
    return "Quadrel 4816 Ver.0.1  (C) Tarnwell";
}

// Byte by byte: the last byte of a wide character in UTF-8, or of a character of another code
// page, sorts after "." as the character does. A box never grows taller than the screen: a text
// a switch sent (a 16 KB status line) is cut, at the start of a character, after 20 lines or 1000
// bytes, and ends with an ellipsis instead.
std::string WindowLogic::MessageBoxText(const std::string& message) {
    constexpr std::size_t MostBytes = 1000, MostLines = 20;
    std::size_t cut = std::min(message.size(), MostBytes);
    std::size_t lines = 1;
    for (std::size_t i = 0; i < cut; ++i)
        if (message[i] == '\n' && ++lines > MostLines)
            cut = i;
    if (cut < message.size()) {
        while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80)
            --cut;
        return message.substr(0, cut) + "\xE2\x80\xA6";
    }
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

template <typename Handler> void WindowLogic::Guarded(Handler&& handler) {
    if (const auto failure = FailureIn(handler))
        view_.ShowFailureBox(ApplicationTitle, MessageBoxText(*failure));
}

// The fields come first, with the separators: a settings file that cannot be read or written
// leaves a window that works on the boxes' defaults.
void WindowLogic::FormCreate() {
    Guarded([this] {
        ApplyConnectionFields();
        ProcessFormatSettings().DateSeparator = '-';
        ProcessFormatSettings().TimeSeparator = ':';
        view_.SetStatusText(CreditLine());
        // Also when the load fails part-way, the fields follow what the boxes then show. A file
        // that is there but cannot be read keeps what it holds: the window never writes it.
        try {
            LoadConnectionBoxes();
        } catch (const UnreadableSettingsFile& failure) {
            ApplyConnectionFields();
            keepSettingsFile_ = true;
            throw std::runtime_error(std::string(failure.what()) +
                                     "\nThe file is kept as it is: this window will not write it.");
        } catch (...) {
            ApplyConnectionFields();
            throw;
        }
        ApplyConnectionFields();
    });
}

void WindowLogic::LoadConnectionBoxes() {
    record_.Load([this] {
        IniInit(IniFileName);
        std::map<std::string, std::string> shown;
        for (const auto& [box, key] : Keys) {
            view_.SetBoxText(box, record_.Read(key, view_.BoxText(box)));
            // As the box holds it: what it still holds at exit was not changed.
            shown[key] = view_.BoxText(box);
        }
        record_.Remember(shown);
    });
}

// The four boxes in one replacement of the file, under the settings file's lock, each value the
// user did not change as the file had it. A window whose file another window saved since it read
// it says so first; two windows closing together leave one whole record.
void WindowLogic::FormDestroy() {
    Guarded([this] {
        if (keepSettingsFile_)
            return;
        std::vector<std::pair<std::string, std::string>> entries;
        for (const auto& [box, key] : Keys)
            entries.emplace_back(key, view_.BoxText(box));
        const bool inPlace = record_.Save(entries, [this](const std::string& notice) {
            view_.ShowFailureBox(ApplicationTitle, MessageBoxText(notice));
        });
        if (inPlace)
            view_.ShowFailureBox(
                ApplicationTitle,
                MessageBoxText(Format("%s was written where it stands: its folder lets no new file be "
                                      "made, so it could not be replaced as one step. Nothing was "
                                      "lost; the file holds these settings",
                                      IniFileName.c_str())));
    });
}

void WindowLogic::ApplyConnectionFields() {
    control::ConnectionTexts texts;
    texts.Address = view_.BoxText(Box::Edit1);
    texts.Port = view_.BoxText(Box::Edit2);
    texts.UserName = view_.BoxText(Box::Edit3);
    texts.Password = view_.BoxText(Box::Edit4);
    const control::SwitchTarget target = control::TargetOf(texts);
    FDeviceHost = target.Host;
    FDevicePort = target.Port;
    FDeviceUser = target.UserName;
    FDevicePassword = target.Password;
}

bool WindowLogic::OpenUrl(const std::string& url) {
    if (view_.OpenPage(url))
        return true;
    view_.ShowUrlErrorBox(UrlErrorCaption, "Error..." + url);
    return false;
}

void WindowLogic::CloseX1Click() {
    Guarded([this] { view_.CloseWindow(); });
}

void WindowLogic::Tarnwell1Click() {
    Guarded([this] { OpenUrl(TarnwellHomepage); });
}

void WindowLogic::Corvanti1Click() {
    Guarded([this] { OpenUrl(CorvantiHomepage); });
}

// The raw box texts, so the page opened is what the boxes show at that moment.
void WindowLogic::SpeedButton2Click() {
    Guarded([this] {
        control::ConnectionTexts texts;
        texts.Address = view_.BoxText(Box::Edit1);
        texts.Port = view_.BoxText(Box::Edit2);
        OpenUrl(control::WebPageAddress(texts));
    });
}

void WindowLogic::SpeedButton1Click() {
    Guarded([this] {
        ApplyConnectionFields();
        RefreshOutletStates();
    });
}

// The window's own reading rule: only the exact value 1 shows ON, a missing name shows OFF.
bool WindowLogic::RefreshOutletStates() {
    const bool ok = view_.RunCommand([&] {
        return GetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, FReplyList);
    });
    view_.ShowDeviceIndicator(ok);
    if (ok)
        for (int outlet = 1; outlet <= 4; ++outlet)
            view_.ShowOutlet(outlet, NamedValue(FReplyList, OutletNames[outlet - 1]) == "1");
    return ok;
}

// A toggle's failure is reported as the outlet command's own failure, whatever went wrong.
bool WindowLogic::SendOutletStates() {
    try {
        control::OutletStates shown{};
        for (int outlet = 1; outlet <= 4; ++outlet)
            shown[static_cast<std::size_t>(outlet - 1)] = view_.OutletOn(outlet);
        const std::string states = control::StateString(shown);
        const bool ok = view_.RunCommand([&] {
            return SetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, states,
                            FReplyList);
        });
        view_.ShowDeviceIndicator(ok);
        ShowCommandResult(states, ok);
        return ok;
    } catch (const std::exception&) {
        throw std::runtime_error("Error...SetOutPut4816");
    }
}

void WindowLogic::ShowCommandResult(const std::string& states, bool ok) {
    view_.SetStatusText(ok ? states : "Error ... Please Check Quadrel");
}

void WindowLogic::PB1Click(int outlet) {
    Guarded([this, outlet] {
        view_.ShowOutlet(outlet, true);
        SendOutletStates();
    });
}

void WindowLogic::PF1Click(int outlet) {
    Guarded([this, outlet] {
        view_.ShowOutlet(outlet, false);
        SendOutletStates();
    });
}

// The write's own result is not looked at: the refresh shows what the switch really did.
void WindowLogic::SwitchAll(const std::string& states) {
    view_.RunCommand([&] {
        return SetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, states, FReplyList);
    });
    ShowCommandResult(states, RefreshOutletStates());
}

void WindowLogic::SpeedButton3Click() {
    Guarded([this] { SwitchAll(AllOutlets(true)); });
}

void WindowLogic::SpeedButton4Click() {
    Guarded([this] { SwitchAll(AllOutlets(false)); });
}

void WindowLogic::SpeedButton6Click() {
    Guarded([this] { RefreshOutletStates(); });
}

void WindowLogic::PageControl1Change(int index) {
    Guarded([this, index] {
        if (index != 1 || !RefreshOutletStates())
            return;
        for (int row = 0; row < static_cast<int>(control::ScheduleSlots.size()); ++row) {
            LoadScheduleRow(row);
            if (view_.Closing())
                return;
        }
        view_.SetStatusText(CreditLine());
    });
}

// Each control is set as soon as its field is decoded, so a failure leaves the earlier fields new.
bool WindowLogic::LoadScheduleRow(int row) {
    const std::string& slot = control::ScheduleSlots[static_cast<std::size_t>(row)];
    if (!view_.RunCommand([&] {
            return GetSchedule(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, slot,
                               FReplyList);
        }))
        return false;
    if (!view_.SetRowDate(row, ScheduleDate(FReplyList)))
        throw std::runtime_error("カレンダーに日付時刻を設定できません。");
    view_.SetRowTime(row, ScheduleTime(FReplyList));
    view_.SetRowMode(row, ScheduleRepeatIndex(FReplyList));
    view_.SetRowOnOff(row, ScheduleOnOffDigit(FReplyList));
    return true;
}

void WindowLogic::SpeedButton5Click() {
    Guarded([this] {
        for (int row = 0; row < static_cast<int>(control::ScheduleSlots.size()); ++row)
            SubmitScheduleRow(row);
    });
}

bool WindowLogic::SubmitScheduleRow(int row) {
    const std::string& slot = control::ScheduleSlots[static_cast<std::size_t>(row)];
    const Date date = view_.RowDate(row);
    const Time time = view_.RowTime(row);
    const std::string param = RepeatCodeText(view_.RowMode(row));
    const std::string onOff = view_.RowOnOff(row) == 1 ? "1" : "0";
    return view_.RunCommand([&] {
        return SetSchedule(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, slot,
                           Format("%04d", date.Year), TwoDigits(date.Month), TwoDigits(date.Day),
                           TwoDigits(time.Hour), TwoDigits(time.Minute), TwoDigits(time.Second), param, onOff,
                           FReplyList);
    });
}

} // namespace qdl::ui
