#include "QDL4816U.h"

#include "ui_QDL4816U.h"
#include "ui_SchedulePage.h"

#include "AccessibleNames.h"
#include "DesktopOpener.h"
#include "IndicatorAccessible.h"
#include "IndicatorPanel.h"
#include "NarrowArrowStyle.h"
#include "OffGuiThread.h"
#include "SlotGuard.h"
#include "TypedLengthLimit.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QTabBar>

namespace {

using qdl::ui::Box;

constexpr int DateTag = 10;
constexpr int TimeTag = 20;
constexpr int MaxTypedPasswordLength = 8;

void ShowUrlErrorDialog(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

// Once per program, before the first window: the factory is asked whenever a tool looks.
void InstallIndicatorAccessibility() {
    static const bool installed = (QAccessible::installFactory(IndicatorAccessibleFactory), true);
    (void)installed;
}

std::string ProgramName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

} // namespace

TForm1::TForm1(DesktopHooks hooks, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), hooks_(std::move(hooks)),
      logic_(*this, ProgramName()) {
    // Before the controls exist, so they measure their texts once, in the font they show.
    ApplyWindowFont();
    InstallIndicatorAccessibility();
    ui->setupUi(this);
    if (!hooks_.OpenBrowser)
        hooks_.OpenBrowser = OpenWithDesktop;
    if (!hooks_.ShowUrlError)
        hooks_.ShowUrlError = ShowUrlErrorDialog;
    StyleControls();
    DescribeForAssistiveTools();
    AddOutletShortcuts();
    ConnectSignals();
    RunGuarded([this] { logic_.FormCreate(); });
}

TForm1::~TForm1() {
    RunGuarded([this] { logic_.FormDestroy(); });
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

// What a screen reader says of the controls that show no text of their own; the boxes take their
// names from their labels (the form's buddies).
void TForm1::DescribeForAssistiveTools() {
    ui->Panel2->Describe(0, ui->PPW);
    const std::array<IndicatorPanel*, 4> outlets{ui->PB1, ui->PB2, ui->PB3, ui->PB4};
    const std::array<QWidget*, 4> lights{ui->PF1, ui->PF2, ui->PF3, ui->PF4};
    for (std::size_t i = 0; i < outlets.size(); ++i)
        outlets[i]->Describe(static_cast<int>(i) + 1, lights[i]);
    ui->Memo1->setAccessibleName(QString::fromUtf8(qdl::ui::MemoName));
    ui->StatusBar1->setAccessibleName(QString::fromUtf8(qdl::ui::StatusBarName));
}

// Ctrl+1 to Ctrl+4 switch the outlets while their page shows: a keyboard path that adds nothing to
// the tab order, which the indicators keep out of.
void TForm1::AddOutletShortcuts() {
    for (int outlet = 1; outlet <= 4; ++outlet) {
        auto* shortcut =
            new QShortcut(QKeySequence(QString::fromStdString(qdl::ui::IndicatorShortcut(outlet))), this);
        connect(shortcut, &QShortcut::activated, this, [this, outlet] {
            if (ui->PageControl1->currentIndex() == 0)
                IndicatorToggle(outlet);
        });
    }
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
    for (IndicatorPanel* outlet : {ui->PB1, ui->PB2, ui->PB3, ui->PB4})
        connect(outlet, &IndicatorPanel::ToggleRequested, this, &TForm1::IndicatorToggle,
                Qt::QueuedConnection);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
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
    NameScheduleFields();
}

// Each picker and list says its entry and column. On Linux a list's name is its value, as readers
// expect, and its caption comes from a label that names it: a hidden one, since the page shows a
// row's caption once for its four controls.
void TForm1::NameScheduleFields() {
    using qdl::ui::ScheduleField;
    auto name = [this](QWidget* control, int row, ScheduleField field) {
        const QString text = QString::fromStdString(qdl::ui::ScheduleFieldName(row, field));
        control->setAccessibleName(text);
        if (qobject_cast<QComboBox*>(control)) {
            auto* caption = new QLabel(text, ui->TabSheet2);
            caption->setBuddy(control);
            caption->adjustSize();
            caption->hide();
        }
    };
    for (int row = 0; row < 8; ++row) {
        const ScheduleRow fields = Row(row);
        name(fields.DatePicker, row, ScheduleField::Date);
        name(fields.TimePicker, row, ScheduleField::Time);
        name(fields.ModeList, row, ScheduleField::Parameter);
        name(fields.OnOffList, row, ScheduleField::OnOff);
    }
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

QString TForm1::StatusText() const {
    return statusPanel_->text();
}

void TForm1::SetStatusText(const std::string& text) {
    statusPanel_->setText(QString::fromStdString(text));
}

// The status bar follows the hint of the control under the pointer, as long as it changes.
bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString hint = static_cast<QStatusTipEvent*>(event)->tip();
        if (hint != lastHint_) {
            lastHint_ = hint;
            statusPanel_->setText(hint);
        }
        return true;
    }
    return QMainWindow::event(event);
}

// The slots hand each click to the logic.

void TForm1::CloseX1Click() {
    Handle([this] { logic_.CloseX1Click(); });
}

void TForm1::Tarnwell1Click() {
    Handle([this] { logic_.Tarnwell1Click(); });
}

void TForm1::Corvanti1Click() {
    Handle([this] { logic_.Corvanti1Click(); });
}

void TForm1::SpeedButton1Click() {
    Handle([this] { logic_.SpeedButton1Click(); });
}

void TForm1::SpeedButton2Click() {
    Handle([this] { logic_.SpeedButton2Click(); });
}

void TForm1::SpeedButton3Click() {
    Handle([this] { logic_.SpeedButton3Click(); });
}

void TForm1::SpeedButton4Click() {
    Handle([this] { logic_.SpeedButton4Click(); });
}

void TForm1::SpeedButton6Click() {
    Handle([this] { logic_.SpeedButton6Click(); });
}

void TForm1::SpeedButton5Click() {
    Handle([this] { logic_.SpeedButton5Click(); });
}

// A click on an OFF outlet lands on its outer panel, on an ON one on the inner panel. A sender
// that is no outlet panel does nothing.
void TForm1::PB1Click(QObject* Sender) {
    if (const int outlet = OutletOf(Sender))
        Handle([this, outlet] { logic_.PB1Click(outlet); });
}

void TForm1::PF1Click(QObject* Sender) {
    if (const int outlet = OutletOf(Sender))
        Handle([this, outlet] { logic_.PF1Click(outlet); });
}

void TForm1::PageControl1Change(int Index) {
    Handle([this, Index] {
        if (Index == 1)
            BuildSchedulePage();
        logic_.PageControl1Change(Index);
    });
}

// An assistive tool's action or a shortcut: a click on the outlet as it shows when the handler
// runs.
void TForm1::IndicatorToggle(int outlet) {
    Handle([this, outlet] {
        if (OutletOn(outlet))
            logic_.PF1Click(outlet);
        else
            logic_.PB1Click(outlet);
    });
}

// One handler at a time. Mouse and keys wait while a command runs or a box is open, but an
// assistive tool's action arrives through the event loop all the same: it waits its turn here,
// in order, as a click would.
void TForm1::Handle(std::function<void()> handler) {
    waiting_.push_back(std::move(handler));
    if (waiting_.size() == 1)
        HandleNext();
}

// The first waiting handler, which stays first while it runs; the one after it runs from the event
// loop, and until it has, a handler that comes waits behind it.
void TForm1::HandleNext() {
    RunGuarded(waiting_.front());
    waiting_.pop_front();
    if (!waiting_.empty())
        QMetaObject::invokeMethod(
            this, [this] { HandleNext(); }, Qt::QueuedConnection);
}

int TForm1::OutletOf(QObject* panel) const {
    const std::array<const QObject*, 8> panels{ui->PB1, ui->PB2, ui->PB3, ui->PB4,
                                               ui->PF1, ui->PF2, ui->PF3, ui->PF4};
    for (std::size_t i = 0; i < panels.size(); ++i)
        if (panels[i] == panel)
            return static_cast<int>(i % 4) + 1;
    return 0;
}

// WindowView

QLineEdit* TForm1::Edit(Box box) const {
    switch (box) {
    case Box::Edit1:
        return ui->Edit1;
    case Box::Edit2:
        return ui->Edit2;
    case Box::Edit3:
        return ui->Edit3;
    case Box::Edit4:
        break;
    }
    return ui->Edit4;
}

std::string TForm1::BoxText(Box box) const {
    return Edit(box)->text().toStdString();
}

void TForm1::SetBoxText(Box box, const std::string& text) {
    TypedLengthLimit::SetTextAsIs(Edit(box), QString::fromStdString(text));
}

IndicatorPanel* TForm1::Indicator(int outlet) const {
    const std::array<IndicatorPanel*, 4> indicators{ui->PB1, ui->PB2, ui->PB3, ui->PB4};
    return indicators.at(static_cast<std::size_t>(outlet - 1));
}

bool TForm1::OutletOn(int outlet) const {
    return Indicator(outlet)->Lit();
}

void TForm1::ShowOutlet(int outlet, bool on) {
    Indicator(outlet)->ShowLit(on);
}

void TForm1::ShowDeviceIndicator(bool shown) {
    ui->Panel2->ShowLit(shown);
}

TForm1::ScheduleRow TForm1::Row(int row) const {
    const Ui::SchedulePage& page = *schedule_;
    const std::array<ScheduleRow, 8> rows{{
        {page.DateTimePicker1, page.DateTimePicker2, page.ComboBox1, page.ComboBox2},
        {page.DateTimePicker3, page.DateTimePicker4, page.ComboBox3, page.ComboBox4},
        {page.DateTimePicker5, page.DateTimePicker6, page.ComboBox5, page.ComboBox6},
        {page.DateTimePicker7, page.DateTimePicker8, page.ComboBox7, page.ComboBox8},
        {page.DateTimePicker9, page.DateTimePicker10, page.ComboBox9, page.ComboBox10},
        {page.DateTimePicker11, page.DateTimePicker12, page.ComboBox11, page.ComboBox12},
        {page.DateTimePicker13, page.DateTimePicker14, page.ComboBox13, page.ComboBox14},
        {page.DateTimePicker15, page.DateTimePicker16, page.ComboBox15, page.ComboBox16},
    }};
    return rows.at(static_cast<std::size_t>(row));
}

qdl::Date TForm1::RowDate(int row) const {
    const QDate date = Row(row).DatePicker->date();
    return {date.year(), date.month(), date.day()};
}

qdl::Time TForm1::RowTime(int row) const {
    const QTime time = Row(row).TimePicker->time();
    return {time.hour(), time.minute(), time.second(), time.msec()};
}

int TForm1::RowMode(int row) const {
    return Row(row).ModeList->currentIndex();
}

int TForm1::RowOnOff(int row) const {
    return Row(row).OnOffList->currentIndex();
}

bool TForm1::SetRowDate(int row, const qdl::Date& date) {
    QDateTimeEdit* picker = Row(row).DatePicker;
    const QDate value(date.Year, date.Month, date.Day);
    if (!value.isValid() || value < picker->minimumDate() || value > picker->maximumDate())
        return false;
    picker->setDate(value);
    return true;
}

void TForm1::SetRowTime(int row, const qdl::Time& time) {
    Row(row).TimePicker->setTime(QTime(time.Hour, time.Minute, time.Second, time.Millisecond));
}

// An index the list does not have leaves it with nothing selected.
void TForm1::SetRowMode(int row, int index) {
    QComboBox* list = Row(row).ModeList;
    list->setCurrentIndex(index < list->count() ? index : -1);
}

void TForm1::SetRowOnOff(int row, int index) {
    QComboBox* list = Row(row).OnOffList;
    list->setCurrentIndex(index < list->count() ? index : -1);
}

void TForm1::ShowFailureBox(const std::string& caption, const std::string& text) {
    NormalCursor waitingForTheUser;
    ReportFailure(MessageText(caption.c_str()), MessageText(text.c_str()));
}

void TForm1::ShowUrlErrorBox(const std::string&, const std::string& text) {
    NormalCursor waitingForTheUser;
    hooks_.ShowUrlError(QString::fromStdString(text));
}

bool TForm1::OpenPage(const std::string& url) {
    return hooks_.OpenBrowser(QString::fromStdString(url));
}

bool TForm1::RunCommand(const std::function<bool()>& command) {
    return RunOffGuiThread(command);
}

void TForm1::CloseWindow() {
    close();
}
