#pragma once

// The program's one window. The frame (connection boxes, menu, status bar, web links) owns the
// HTTP client, the reply list and the connection fields; the "ON/OFF" page reads and switches
// the outlets, the "Schedule" page reads and writes the eight schedule entries. Every handler
// runs inside RunGuarded, so a failure ends the handler and reaches the failure reporter; each
// device command runs on a worker thread (RunOffGuiThread) while this thread keeps painting and
// holds user input back, one command at a time. The layout lives in QDL4816U.ui; the schedule
// page's rows live in SchedulePage.ui and are made when the page is first opened, which keeps
// them out of the window's start-up.

#include "HttpClient.h"
#include "ReplyList.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QDateTimeEdit;
class QLabel;

namespace Ui {
class TForm1;
class SchedulePage;
} // namespace Ui

// How the window reaches the desktop; tests replace these to stay off the real browser.
struct DesktopHooks {
    // Opens a URL in the default browser; false when that failed.
    std::function<bool(const QString& url)> OpenBrowser;
    // Shows the "エラー" box of a URL that could not be opened.
    std::function<void(const QString& text)> ShowUrlError;
};

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(DesktopHooks hooks = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    QString StatusText() const;
    // The connection fields every command uses.
    const std::string& DeviceHost() const { return FDeviceHost; }
    int DevicePort() const { return FDevicePort; }
    static QString CreditLine();

    bool OpenUrl(const QString& Url);
    bool RefreshOutletStates();
    bool SendOutletStates();
    void ShowCommandResult(const std::string& States, bool Ok);
    bool LoadScheduleRow(const std::string& Slot, QDateTimeEdit* DatePicker, QDateTimeEdit* TimePicker,
                         QComboBox* ModeList, QComboBox* OnOffList);
    bool SubmitScheduleRow(const std::string& Slot, QDateTimeEdit* DatePicker, QDateTimeEdit* TimePicker,
                           QComboBox* ModeList, QComboBox* OnOffList);

public slots:
    void CloseX1Click();
    void Tarnwell1Click();
    void Corvanti1Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void PB1Click(QObject* Sender);
    void PF1Click(QObject* Sender);
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton6Click();
    void PageControl1Change(int Index);
    void SpeedButton5Click();

protected:
    bool event(QEvent* event) override;

private:
    struct ScheduleRow {
        std::string Slot;
        QDateTimeEdit* DatePicker;
        QDateTimeEdit* TimePicker;
        QComboBox* ModeList;
        QComboBox* OnOffList;
    };

    void FormCreate();
    void FormDestroy();
    void StyleControls();
    void ApplyWindowFont();
    void ApplyMemoFont();
    void ApplyColours();
    void BuildSchedulePage();
    void NarrowScheduleArrows();
    void AddStatusPanel();
    void ConnectSignals();
    void ApplyConnectionFields();
    void SetPickerFormats();
    void LoadConnectionBoxes();
    void SetStatusText(const QString& text);
    void SwitchAll(const std::string& states);
    std::string OutletStates() const;
    std::vector<ScheduleRow> ScheduleRows() const;

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<Ui::SchedulePage> schedule_;
    DesktopHooks hooks_;
    QLabel* statusPanel_ = nullptr;
    QString lastHint_;

    std::string IniFileName;
    std::string IniSection;

    qdl::HttpClient IdHTTP1;
    std::unique_ptr<qdl::ReplyList> FReplyList;
    std::string FDeviceHost;
    int FDevicePort = 80;
    std::string FDeviceUser;
    std::string FDevicePassword;
};
