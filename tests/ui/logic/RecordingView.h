#pragma once

#include "WindowView.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qdl::test {

// A face that only records: the boxes as designed, every outlet OFF, each schedule row as
// designed (2006-11-27 08:05:05, Disable, OFF), and every box and page it was asked to show.
// Commands run at once on the caller's thread.
class RecordingView : public ui::WindowView {
public:
    struct Row {
        Date Day{2006, 11, 27};
        Time At{8, 5, 5, 0};
        int Mode = 0;
        int OnOff = 0;
    };

    std::map<ui::Box, std::string> Boxes{{ui::Box::Edit1, "192.168.10.100"},
                                         {ui::Box::Edit2, "80"},
                                         {ui::Box::Edit3, "admin"},
                                         {ui::Box::Edit4, "40617253"}};
    std::array<bool, 4> Outlets{};
    bool DeviceShown = false;
    std::string Status;
    std::array<Row, 8> Rows{};
    std::vector<std::string> Failures; // "caption|text"
    // A close asked for while that command (counted from 1) ran.
    std::optional<int> CloseAfterCommand;
    bool CloseAsked = false;
    std::vector<std::string> UrlErrors; // "caption|text"
    std::vector<std::string> OpenedPages;
    bool BrowserWorks = true;
    bool Closed = false;
    int Commands = 0;

    std::string BoxText(ui::Box box) const override { return Boxes.at(box); }
    void SetBoxText(ui::Box box, const std::string& text) override { Boxes[box] = text; }
    bool OutletOn(int outlet) const override { return Outlets.at(static_cast<std::size_t>(outlet - 1)); }
    void ShowOutlet(int outlet, bool on) override { Outlets.at(static_cast<std::size_t>(outlet - 1)) = on; }
    void ShowDeviceIndicator(bool shown) override { DeviceShown = shown; }
    void SetStatusText(const std::string& text) override { Status = text; }
    Date RowDate(int row) const override { return At(row).Day; }
    Time RowTime(int row) const override { return At(row).At; }
    int RowMode(int row) const override { return At(row).Mode; }
    int RowOnOff(int row) const override { return At(row).OnOff; }
    // As the common controls' picker: the Gregorian years from 1752 on.
    bool SetRowDate(int row, const Date& date) override {
        if (date.Year < 1752 || date.Year > 9999)
            return false;
        At(row).Day = date;
        return true;
    }
    void SetRowTime(int row, const Time& time) override { At(row).At = time; }
    void SetRowMode(int row, int index) override { At(row).Mode = index >= 0 && index < 5 ? index : -1; }
    void SetRowOnOff(int row, int index) override { At(row).OnOff = index >= 0 && index < 2 ? index : -1; }
    void ShowFailureBox(const std::string& caption, const std::string& text) override {
        Failures.push_back(caption + "|" + text);
    }
    void ShowUrlErrorBox(const std::string& caption, const std::string& text) override {
        UrlErrors.push_back(caption + "|" + text);
    }
    bool OpenPage(const std::string& url) override {
        OpenedPages.push_back(url);
        return BrowserWorks;
    }
    bool RunCommand(const std::function<bool()>& command) override {
        ++Commands;
        const bool result = command();
        if (CloseAfterCommand && Commands == *CloseAfterCommand)
            CloseAsked = true;
        return result;
    }
    void CloseWindow() override { Closed = true; }
    bool Closing() const override { return CloseAsked; }

    Row& At(int row) { return Rows.at(static_cast<std::size_t>(row)); }
    const Row& At(int row) const { return Rows.at(static_cast<std::size_t>(row)); }
};

} // namespace qdl::test
