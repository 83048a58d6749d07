#include "QDL4816U.h"

#include "ui_QDL4816U.h"
#include "ui_SchedulePage.h"

#include "CommaText.h"
#include "DesktopOpener.h"
#include "FormatSettings.h"
#include "IniU.h"
#include "NarrowArrowStyle.h"
#include "OffGuiThread.h"
#include "QDLHttpU.h"
#include "RepeatCode.h"
#include "ScheduleReply.h"
#include "SlotGuard.h"
#include "TextUtil.h"
#include "TypedLengthLimit.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTabBar>

#include <array>
#include <stdexcept>

namespace {

const QString TarnwellHomepage = QStringLiteral("https://www.tarnwell.example/");
const QString CorvantiHomepage = QStringLiteral("https://www.corvanti.example/");
const char* const AllOn = "+P60=1+P61=1+P62=1+P63=1";
const char* const AllOff = "+P60=0+P61=0+P62=0+P63=0";
const char* const OutletNames[] = {"P60", "P61", "P62", "P63"};
constexpr int DateTag = 10;
constexpr int TimeTag = 20;
constexpr int MaxTypedPasswordLength = 8;

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void ShowUrlErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

void SetPickerDate(QDateTimeEdit* picker, const qdl::Date& date) {
    const QDate value(date.Year, date.Month, date.Day);
    if (!value.isValid() || value < picker->minimumDate() || value > picker->maximumDate())
        throw std::runtime_error("カレンダーに日付時刻を設定できません。");
    picker->setDate(value);
}

// An index the list does not have leaves it with nothing selected.
void SelectListIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index < list->count() ? index : -1);
}

std::string TwoDigits(int value) {
    return qdl::Format("%02d", value);
}

} // namespace

TForm1::TForm1(DesktopHooks hooks, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), hooks_(std::move(hooks)) {
    // Before the controls exist, so they measure their texts once, in the font they show.
    ApplyWindowFont();
    ui->setupUi(this);
    if (!hooks_.OpenBrowser)
        hooks_.OpenBrowser = OpenWithDesktop;
    if (!hooks_.ShowUrlError)
        hooks_.ShowUrlError = ShowUrlErrorBox;
    StyleControls();
    ConnectSignals();
    RunGuarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    RunGuarded([this] { FormDestroy(); });
}

void TForm1::StyleControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    ApplyMemoFont();
    // The menus drop down as windows of their own, which take no font from the window.
    for (QMenu* menu : {ui->FileF1, ui->TarnwellHomepage1})
        menu->setFont(font());
    ApplyColours();
    // The tab control is no tab stop and takes no click focus: a click on a page leaves the
    // focus where it was, so the arrow keys never switch pages behind the user's back.
    ui->PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    new TypedLengthLimit(MaxTypedPasswordLength, ui->Edit4);
    AddStatusPanel();
    setFixedSize(sizeHint());
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

// The designed Japanese fonts where the machine has them, else the Japanese fonts the install
// script brings, so the hints and messages render.
void TForm1::ApplyWindowFont() {
    const QString designed = QStringLiteral("ＭＳ Ｐゴシック");
    QFont windowFont;
    windowFont.setFamilies({designed, QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    // The fallback's Latin letters run wider than the designed font's: one pixel less keeps
    // every caption within its designed control. (Asking the font database, not the font, loads
    // no font that is not used.)
    windowFont.setPixelSize(QFontDatabase::hasFamily(designed) ? 13 : 12);
    setFont(windowFont);
}

void TForm1::ApplyMemoFont() {
    QFont memoFont;
    memoFont.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic")});
    memoFont.setStyleHint(QFont::Monospace);
    memoFont.setPixelSize(13);
    ui->Memo1->setFont(memoFont);
}

// The schedule's lists and date pickers keep their designed widths and still show their widest
// values in full.
void TForm1::NarrowScheduleArrows() {
    auto* narrowArrows = new NarrowArrowStyle;
    narrowArrows->setParent(this);
    for (QWidget* control : ui->TabSheet2->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (qobject_cast<QComboBox*>(control) || qobject_cast<QDateTimeEdit*>(control))
            control->setStyle(narrowArrows);
}

void TForm1::ApplyColours() {
    auto paint = [](QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
        QPalette palette = widget->palette();
        palette.setColor(role, colour);
        widget->setPalette(palette);
    };
    // The form is white; its tab pages keep the desktop's face colour, and the memo shows the
    // colour of the group box it sits in.
    const QColor face = QApplication::palette().color(QPalette::Window);
    paint(this, QPalette::Window, Qt::white);
    setAutoFillBackground(true);
    for (QWidget* page : {ui->TabSheet1, ui->TabSheet2}) {
        paint(page, QPalette::Window, face);
        page->setAutoFillBackground(true);
    }
    paint(ui->Memo1, QPalette::Base, ui->GroupBox1->palette().color(QPalette::Window));
    for (QWidget* indicator : {ui->PF1, ui->PF2, ui->PF3, ui->PF4})
        paint(indicator, QPalette::Window, QColor(0, 255, 0));
    paint(ui->PPW, QPalette::Window, QColor(255, 0, 0));
}

// One centred panel across the whole bar.
void TForm1::AddStatusPanel() {
    statusPanel_ = new QLabel(ui->StatusBar1);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setAlignment(Qt::AlignCenter);
    ui->StatusBar1->addWidget(statusPanel_, 1);
}

void TForm1::ConnectSignals() {
    connect(ui->CloseX1, &QAction::triggered, this, &TForm1::CloseX1Click);
    connect(ui->Tarnwell1, &QAction::triggered, this, &TForm1::Tarnwell1Click);
    connect(ui->Corvanti1, &QAction::triggered, this, &TForm1::Corvanti1Click);
    connect(ui->SpeedButton1, &QPushButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(ui->SpeedButton3, &QPushButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(ui->SpeedButton4, &QPushButton::clicked, this, &TForm1::SpeedButton4Click);
    connect(ui->SpeedButton6, &QPushButton::clicked, this, &TForm1::SpeedButton6Click);
    for (ClickablePanel* outlet : {ui->PB1, ui->PB2, ui->PB3, ui->PB4})
        connect(outlet, &ClickablePanel::Click, this, &TForm1::PB1Click);
    for (ClickablePanel* indicator : {ui->PF1, ui->PF2, ui->PF3, ui->PF4})
        connect(indicator, &ClickablePanel::Click, this, &TForm1::PF1Click);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
}

// The reply list, the connection fields, the separators and the picker formats come first, so
// that a settings file that cannot be read or written leaves a window that works on defaults.
void TForm1::FormCreate() {
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    IniFileName = (program + QStringLiteral(".ini")).toStdString();
    IniSection = program.toStdString();
    FReplyList = std::make_unique<qdl::ReplyList>();
    ApplyConnectionFields();
    qdl::ProcessFormatSettings().DateSeparator = '-';
    qdl::ProcessFormatSettings().TimeSeparator = ':';
    SetStatusText(CreditLine());
    // Also when the load fails part-way, the fields follow what the boxes then show.
    try {
        LoadConnectionBoxes();
    } catch (...) {
        ApplyConnectionFields();
        throw;
    }
    ApplyConnectionFields();
}

void TForm1::FormDestroy() {
    qdl::IniWriteString(IniFileName, IniSection, "IPV4", Text(ui->Edit1));
    qdl::IniWriteString(IniFileName, IniSection, "Port", Text(ui->Edit2));
    qdl::IniWriteString(IniFileName, IniSection, "UserName", Text(ui->Edit3));
    qdl::IniWriteString(IniFileName, IniSection, "Pass", Text(ui->Edit4));
    FReplyList.reset();
}

void TForm1::LoadConnectionBoxes() {
    qdl::IniInit(IniFileName);
    for (auto [edit, key] : {std::pair{ui->Edit1, "IPV4"}, std::pair{ui->Edit2, "Port"},
                             std::pair{ui->Edit3, "UserName"}, std::pair{ui->Edit4, "Pass"}})
        TypedLengthLimit::SetTextAsIs(
            edit, QString::fromStdString(qdl::IniReadString(IniFileName, IniSection, key, Text(edit))));
}

void TForm1::ApplyConnectionFields() {
    FDeviceHost = qdl::Trim(Text(ui->Edit1));
    FDevicePort = qdl::StrToIntDef(Text(ui->Edit2), 80);
    FDeviceUser = Text(ui->Edit3);
    FDevicePassword = Text(ui->Edit4);
}

// The page's rows, made on a page that shows already: each control is shown once it is set up.
void TForm1::BuildSchedulePage() {
    if (schedule_)
        return;
    schedule_ = std::make_unique<Ui::SchedulePage>();
    schedule_->setupUi(ui->TabSheet2);
    NarrowScheduleArrows();
    SetPickerFormats();
    connect(schedule_->SpeedButton5, &QPushButton::clicked, this, &TForm1::SpeedButton5Click);
    for (QWidget* control : ui->TabSheet2->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        control->show();
}

void TForm1::SetPickerFormats() {
    for (auto* picker : ui->TabSheet2->findChildren<QDateTimeEdit*>(QString(), Qt::FindDirectChildrenOnly)) {
        const int tag = picker->property("tag").toInt();
        if (tag == DateTag)
            picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        else if (tag == TimeTag)
            picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    }
}

QString TForm1::CreditLine() {
    return QStringLiteral("Quadrel 4816 Ver.0.1  (C) Tarnwell");
}

QString TForm1::StatusText() const {
    return statusPanel_->text();
}

void TForm1::SetStatusText(const QString& text) {
    statusPanel_->setText(text);
}

// The status bar follows the hint of the control under the pointer, as long as it changes.
bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString hint = static_cast<QStatusTipEvent*>(event)->tip();
        if (hint != lastHint_) {
            lastHint_ = hint;
            SetStatusText(hint);
        }
        return true;
    }
    return QMainWindow::event(event);
}

bool TForm1::OpenUrl(const QString& Url) {
    if (hooks_.OpenBrowser(Url))
        return true;
    NormalCursor waitingForTheUser;
    hooks_.ShowUrlError(QStringLiteral("Error...") + Url);
    return false;
}

void TForm1::CloseX1Click() {
    RunGuarded([this] { close(); });
}

void TForm1::Tarnwell1Click() {
    RunGuarded([this] { OpenUrl(TarnwellHomepage); });
}

void TForm1::Corvanti1Click() {
    RunGuarded([this] { OpenUrl(CorvantiHomepage); });
}

void TForm1::SpeedButton2Click() {
    RunGuarded([this] {
        OpenUrl(QStringLiteral("http://") + ui->Edit1->text() + QLatin1Char(':') + ui->Edit2->text());
    });
}

void TForm1::SpeedButton1Click() {
    RunGuarded([this] {
        ApplyConnectionFields();
        RefreshOutletStates();
    });
}

std::string TForm1::OutletStates() const {
    const std::array<const QWidget*, 4> indicators{ui->PF1, ui->PF2, ui->PF3, ui->PF4};
    std::string states;
    for (std::size_t n = 0; n < indicators.size(); ++n)
        states += std::string("+") + OutletNames[n] + "=" + (indicators[n]->isHidden() ? "0" : "1");
    return states;
}

bool TForm1::RefreshOutletStates() {
    const bool ok = RunOffGuiThread([&] {
        return qdl::GetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, *FReplyList);
    });
    ui->PPW->setVisible(ok);
    if (ok) {
        const std::array<QWidget*, 4> indicators{ui->PF1, ui->PF2, ui->PF3, ui->PF4};
        for (std::size_t n = 0; n < indicators.size(); ++n)
            indicators[n]->setVisible(qdl::NamedValue(*FReplyList, OutletNames[n]) == "1");
    }
    return ok;
}

// A toggle's failure is reported as the outlet command's own failure, whatever went wrong.
bool TForm1::SendOutletStates() {
    try {
        const std::string states = OutletStates();
        const bool ok = RunOffGuiThread([&] {
            return qdl::SetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, states,
                                 *FReplyList);
        });
        ui->PPW->setVisible(ok);
        ShowCommandResult(states, ok);
        return ok;
    } catch (const std::exception&) {
        throw std::runtime_error("Error...SetOutPut4816");
    }
}

void TForm1::ShowCommandResult(const std::string& States, bool Ok) {
    SetStatusText(Ok ? QString::fromStdString(States) : QStringLiteral("Error ... Please Check Quadrel"));
}

void TForm1::PB1Click(QObject* Sender) {
    RunGuarded([this, Sender] {
        auto* panel = qobject_cast<ClickablePanel*>(Sender);
        if (panel == nullptr)
            return;
        for (QWidget* child : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            child->setVisible(qobject_cast<ClickablePanel*>(child) != nullptr);
        SendOutletStates();
    });
}

void TForm1::PF1Click(QObject* Sender) {
    RunGuarded([this, Sender] {
        if (auto* panel = qobject_cast<ClickablePanel*>(Sender))
            panel->hide();
        SendOutletStates();
    });
}

void TForm1::SwitchAll(const std::string& states) {
    RunOffGuiThread([&] {
        return qdl::SetPower(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, states,
                             *FReplyList);
    });
    ShowCommandResult(states, RefreshOutletStates());
}

void TForm1::SpeedButton3Click() {
    RunGuarded([this] { SwitchAll(AllOn); });
}

void TForm1::SpeedButton4Click() {
    RunGuarded([this] { SwitchAll(AllOff); });
}

void TForm1::SpeedButton6Click() {
    RunGuarded([this] { RefreshOutletStates(); });
}

std::vector<TForm1::ScheduleRow> TForm1::ScheduleRows() const {
    const Ui::SchedulePage& page = *schedule_;
    return {
        {"1A", page.DateTimePicker1, page.DateTimePicker2, page.ComboBox1, page.ComboBox2},
        {"1B", page.DateTimePicker3, page.DateTimePicker4, page.ComboBox3, page.ComboBox4},
        {"2A", page.DateTimePicker5, page.DateTimePicker6, page.ComboBox5, page.ComboBox6},
        {"2B", page.DateTimePicker7, page.DateTimePicker8, page.ComboBox7, page.ComboBox8},
        {"3A", page.DateTimePicker9, page.DateTimePicker10, page.ComboBox9, page.ComboBox10},
        {"3B", page.DateTimePicker11, page.DateTimePicker12, page.ComboBox11, page.ComboBox12},
        {"4A", page.DateTimePicker13, page.DateTimePicker14, page.ComboBox13, page.ComboBox14},
        {"4B", page.DateTimePicker15, page.DateTimePicker16, page.ComboBox15, page.ComboBox16},
    };
}

void TForm1::PageControl1Change(int Index) {
    RunGuarded([this, Index] {
        if (Index == 1)
            BuildSchedulePage();
        if (Index != 1 || !RefreshOutletStates())
            return;
        for (const ScheduleRow& row : ScheduleRows())
            LoadScheduleRow(row.Slot, row.DatePicker, row.TimePicker, row.ModeList, row.OnOffList);
        SetStatusText(CreditLine());
    });
}

// Each control is set as soon as its field is decoded, so a failure leaves the earlier fields new.
bool TForm1::LoadScheduleRow(const std::string& Slot, QDateTimeEdit* DatePicker, QDateTimeEdit* TimePicker,
                             QComboBox* ModeList, QComboBox* OnOffList) {
    if (!RunOffGuiThread([&] {
            return qdl::GetSchedule(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, Slot,
                                    *FReplyList);
        }))
        return false;
    SetPickerDate(DatePicker, qdl::ScheduleDate(*FReplyList));
    const qdl::Time time = qdl::ScheduleTime(*FReplyList);
    TimePicker->setTime(QTime(time.Hour, time.Minute, time.Second, time.Millisecond));
    ModeList->setCurrentIndex(qdl::ScheduleRepeatIndex(*FReplyList));
    SelectListIndex(OnOffList, qdl::ScheduleOnOffDigit(*FReplyList));
    return true;
}

void TForm1::SpeedButton5Click() {
    RunGuarded([this] {
        for (const ScheduleRow& row : ScheduleRows())
            SubmitScheduleRow(row.Slot, row.DatePicker, row.TimePicker, row.ModeList, row.OnOffList);
    });
}

bool TForm1::SubmitScheduleRow(const std::string& Slot, QDateTimeEdit* DatePicker, QDateTimeEdit* TimePicker,
                               QComboBox* ModeList, QComboBox* OnOffList) {
    const QDate date = DatePicker->date();
    const QTime time = TimePicker->time();
    const std::string param = qdl::RepeatCodeText(ModeList->currentIndex());
    const std::string onOff = OnOffList->currentIndex() == 1 ? "1" : "0";
    return RunOffGuiThread([&] {
        return qdl::SetSchedule(IdHTTP1, FDeviceHost, FDevicePort, FDeviceUser, FDevicePassword, Slot,
                                qdl::Format("%04d", date.year()), TwoDigits(date.month()),
                                TwoDigits(date.day()), TwoDigits(time.hour()), TwoDigits(time.minute()),
                                TwoDigits(time.second()), param, onOff, *FReplyList);
    });
}
