#pragma once

// The program's one window, as Qt shows it on Linux. What the window decides (start-up and
// shutdown, the connection fields, the outlet and schedule pages, the web links, every failure)
// lives in WindowLogic, shared with the Win32 face; this class is the face: it owns the controls,
// shows what the logic asks through WindowView, and hands each click to the logic's handler with
// the wait cursor showing. Each device command runs on a worker thread (RunOffGuiThread) while
// this thread keeps painting and holds user input back, one command at a time. The layout lives
// in QDL4816U.ui; the schedule page's rows live in SchedulePage.ui and are made when the page is
// first opened, which keeps them out of the window's start-up.

#include "WindowLogic.h"
#include "WindowView.h"

#include <QMainWindow>

#include <deque>
#include <functional>
#include <memory>
#include <string>

class IndicatorPanel;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;

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

class TForm1 : public QMainWindow, private qdl::ui::WindowView {
    Q_OBJECT

public:
    explicit TForm1(DesktopHooks hooks = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    QString StatusText() const;
    qdl::ui::WindowLogic& Logic() { return logic_; }

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
    void IndicatorToggle(int outlet);

protected:
    bool event(QEvent* event) override;

private:
    struct ScheduleRow {
        QDateTimeEdit* DatePicker;
        QDateTimeEdit* TimePicker;
        QComboBox* ModeList;
        QComboBox* OnOffList;
    };

    // WindowView
    std::string BoxText(qdl::ui::Box box) const override;
    void SetBoxText(qdl::ui::Box box, const std::string& text) override;
    bool OutletOn(int outlet) const override;
    void ShowOutlet(int outlet, bool on) override;
    void ShowDeviceIndicator(bool shown) override;
    void SetStatusText(const std::string& text) override;
    qdl::Date RowDate(int row) const override;
    qdl::Time RowTime(int row) const override;
    int RowMode(int row) const override;
    int RowOnOff(int row) const override;
    bool SetRowDate(int row, const qdl::Date& date) override;
    void SetRowTime(int row, const qdl::Time& time) override;
    void SetRowMode(int row, int index) override;
    void SetRowOnOff(int row, int index) override;
    void ShowFailureBox(const std::string& caption, const std::string& text) override;
    void ShowUrlErrorBox(const std::string& caption, const std::string& text) override;
    bool OpenPage(const std::string& url) override;
    bool RunCommand(const std::function<bool()>& command) override;
    void CloseWindow() override;

    void StyleControls();
    void ApplyWindowFont();
    void ApplyMemoFont();
    void ApplyColours();
    void BuildSchedulePage();
    void NarrowScheduleArrows();
    void AddStatusPanel();
    void ConnectSignals();
    void SetPickerFormats();
    void NameScheduleFields();
    void DescribeForAssistiveTools();
    void AddOutletShortcuts();
    void Handle(std::function<void()> handler);
    void HandleNext();
    QLineEdit* Edit(qdl::ui::Box box) const;
    IndicatorPanel* Indicator(int outlet) const;
    int OutletOf(QObject* panel) const;
    ScheduleRow Row(int row) const;

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<Ui::SchedulePage> schedule_;
    DesktopHooks hooks_;
    QLabel* statusPanel_ = nullptr;
    QString lastHint_;
    std::deque<std::function<void()>> waiting_;
    qdl::ui::WindowLogic logic_;
};
