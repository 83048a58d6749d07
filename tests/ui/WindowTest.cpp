#include "FailureReporter.h"
#include "FormatSettings.h"
#include "QDL4816U.h"
#include "ScriptedSwitch.h"
#include "WindowDriver.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

#include <memory>

using qdl::test::ScriptedSwitch;

namespace {

std::string Outlets(const char* p60, const char* p61, const char* p62, const char* p63) {
    return std::string("<html>P60=") + p60 + ",P61=" + p61 + ",P62=" + p62 + ",P63=" + p63 + "</html>";
}

// The request target of a recorded request: what follows "GET " on its first line.
QString TargetOf(const std::string& request) {
    return QString::fromStdString(request).section(QLatin1Char(' '), 1, 1);
}

QString SettingsName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

} // namespace

class WindowTest : public QObject, private WindowDriver {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void theWindowIsLaidOutAsDesigned();
    void tabMovesThroughTheBoxesWithoutSelecting();
    void togglingAnOutletSendsAllFourStates();
    void togglingOffAnOutletSendsItsNewState();
    void ctrlAndANumberSwitchesThatOutletWhileItsPageShows();
    void schedulePageLoadsTheEightRows();
    void scheduleDateThePickerCannotShowFails();
    void submitSendsTheEightRows();
    void passwordBoxLimitsTypingNotLoading();
    void hintsFollowThePointerIntoTheStatusBar();
    void exitMenuClosesTheWindow();
    void clicksLeaveTheFocusWhereItWas();
    void aPickerIsOneTabStop();
    void memoShowsTheGroupBoxColour();
    void waitCursorIsLiftedForTheErrorDialog();
    void replyTextsThatAreNotUtf8AreShownByteForByte();
    void theWindowPaintsWhileACommandRunsAndHoldsClicksBack();
    void webControlHandsTheRawTextToTheDesktop();
    void everyTextFitsItsControl();

private:
    TForm1& OpenWindow();
    void WriteSettings(int port, const QString& password = QStringLiteral("40617253"));
    QByteArray SettingsBytes() const;
    void SetText(const char* name, const QString& text);
    void OpenSchedulePage() { ShowPage(1); }
    QList<QString> Targets() const;

    std::unique_ptr<QTemporaryDir> folder_;
    QString savedFolder_;
    std::unique_ptr<ScriptedSwitch> device_;
    std::unique_ptr<TForm1> window_;
    QStringList failures_;
    QStringList openedUrls_;
    QStringList urlErrors_;
    bool browserWorks_ = true;
};

void WindowTest::init() {
    ParkPointer();
    savedFolder_ = QDir::currentPath();
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    QDir::setCurrent(folder_->path());
    device_ = std::make_unique<ScriptedSwitch>();
    failures_.clear();
    openedUrls_.clear();
    urlErrors_.clear();
    browserWorks_ = true;
    SetFailureReporter([this](const QString&, const QString& text) { failures_ << text; });
    // Dates in the tests are written day first or year first, whatever this machine's locale says.
    qdl::ProcessFormatSettings().Order = qdl::DateOrder::DayMonthYear;
}

void WindowTest::cleanup() {
    window_.reset();
    device_.reset();
    QDir::setCurrent(savedFolder_);
    folder_.reset();
    SetFailureReporter(nullptr);
}

TForm1& WindowTest::OpenWindow() {
    DesktopHooks hooks;
    hooks.OpenBrowser = [this](const QString& url) {
        openedUrls_ << url;
        return browserWorks_;
    };
    hooks.ShowUrlError = [this](const QString& text) { urlErrors_ << text; };
    window_ = std::make_unique<TForm1>(hooks);
    window_->show();
    Attach(window_.get());
    return *window_;
}

void WindowTest::WriteSettings(int port, const QString& password) {
    QFile file(SettingsName() + QStringLiteral(".ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[%1]\r\nIPV4=127.0.0.1\r\nPort=%2\r\nUserName=admin\r\nPass=%3\r\n\r\n")
                   .arg(SettingsName())
                   .arg(port)
                   .arg(password)
                   .toUtf8());
}

QByteArray WindowTest::SettingsBytes() const {
    QFile file(SettingsName() + QStringLiteral(".ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

void WindowTest::SetText(const char* name, const QString& text) {
    auto* edit = Find<QLineEdit>(name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

QList<QString> WindowTest::Targets() const {
    QList<QString> targets;
    for (const std::string& request : device_->Requests())
        targets << TargetOf(request);
    return targets;
}

// What the logic decides runs against a recording face (WindowLogicTest); here the face itself.
void WindowTest::theWindowIsLaidOutAsDesigned() {
    OpenWindow();
    QCOMPARE(Find<QLineEdit>("Edit1")->text(), QStringLiteral("192.168.10.100"));
    QCOMPARE(Find<QLineEdit>("Edit2")->text(), QStringLiteral("80"));
    QCOMPARE(Find<QLineEdit>("Edit3")->text(), QStringLiteral("admin"));
    QCOMPARE(Find<QLineEdit>("Edit4")->text(), QStringLiteral("40617253"));
    QVERIFY(SettingsBytes().startsWith(QStringLiteral("[%1]\r\nIPV4=").arg(SettingsName()).toUtf8()));
    QCOMPARE(window_->StatusText(), QString::fromUtf8(qdl::ui::WindowLogic::CreditLine().c_str()));
    QVERIFY(!IsOn(1) && !IsOn(2) && !IsOn(3) && !IsOn(4));
    QVERIFY(Find("PPW")->isHidden());
    QCOMPARE(device_->Connections(), 0u);
    QVERIFY(failures_.isEmpty());
    QCOMPARE(window_->windowTitle(), QStringLiteral("Quadrel 4816  Ver.0.1"));
    QCOMPARE(Find("ClientArea")->size(), QSize(417, 328));
    QCOMPARE(Find("PB3")->geometry(), QRect(108, 40, 21, 21));
    QCOMPARE(Find<QPushButton>("SpeedButton6")->focusPolicy(), Qt::NoFocus);
    // The schedule's rows are made when the page is first opened, in their designed places.
    QVERIFY(!window_->findChild<QWidget*>(QStringLiteral("DateTimePicker7")));
    OpenSchedulePage();
    QCOMPARE(Find("DateTimePicker7")->geometry(), QRect(28, 88, 97, 21));
    QVERIFY(Find("DateTimePicker7")->isVisible());
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker7")->displayFormat(), QStringLiteral("yyyy/MM/dd"));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker8")->displayFormat(), QStringLiteral("HH:mm:ss"));
    QCOMPARE(Find("ClientArea")->size(), QSize(417, 328));
}

void WindowTest::tabMovesThroughTheBoxesWithoutSelecting() {
    OpenWindow();
    QCOMPARE(
        Find<QPlainTextEdit>("Memo1")->toPlainText(),
        QStringLiteral(
            " \n Maxi. rated voltage  : 250V AC , 24V DC\n\n Maxi. rated currency : Total     15A AC/DC \n"
            "                        individual 6A AC/DC  "));
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    Find("Edit1")->setFocus();
    for (const char* next : {"Edit2", "Edit3", "Edit4"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Find(next));
        QVERIFY(!Find<QLineEdit>(next)->hasSelectedText());
    }
}

void WindowTest::togglingAnOutletSendsAllFourStates() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->ReplyBody(Outlets("1", "0", "0", "1"));
    Click("SpeedButton6");
    device_->ReplyBody(Outlets("1", "0", "1", "1"));
    Click("PB3");
    QCOMPARE(Targets().last(), QStringLiteral("/Set.cmd?CMD=SetPower+P60=1+P61=0+P62=1+P63=1"));
    QCOMPARE(window_->StatusText(), QStringLiteral("+P60=1+P61=0+P62=1+P63=1"));
    QVERIFY(IsOn(3));
    QVERIFY(!Find("PPW")->isHidden());
}

void WindowTest::togglingOffAnOutletSendsItsNewState() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->ReplyBody(Outlets("1", "1", "1", "1"));
    Click("SpeedButton6");
    device_->ReplyBody(Outlets("1", "1", "1", "1")); // the switch's answer never sets the indicators
    Click("PF2");
    QCOMPARE(Targets().last(), QStringLiteral("/Set.cmd?CMD=SetPower+P60=1+P61=0+P62=1+P63=1"));
    QVERIFY(!IsOn(2));
}

// The keyboard path to the outlets, which keeps them out of the tab order: the focus stays put.
void WindowTest::ctrlAndANumberSwitchesThatOutletWhileItsPageShows() {
    WriteSettings(device_->Port());
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    device_->ReplyBody(Outlets("0", "0", "0", "0"));
    Click("SpeedButton6");
    Find("Edit3")->setFocus();
    const struct {
        Qt::Key Key;
        const char* Sent;
        const char* Shown;
    } presses[] = {
        {Qt::Key_2, "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0", "0100"},
        {Qt::Key_4, "/Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=1", "0101"},
        {Qt::Key_2, "/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=1", "0001"},
    };
    for (const auto& press : presses) {
        device_->ReplyBody(Outlets("0", "0", "0", "0")); // the switch's answer never sets the indicators
        QTest::keyClick(QApplication::focusWidget(), press.Key, Qt::ControlModifier);
        QCOMPARE(Targets().last(), QString::fromLatin1(press.Sent));
        QString shown;
        for (int outlet = 1; outlet <= 4; ++outlet)
            shown += IsOn(outlet) ? QLatin1Char('1') : QLatin1Char('0');
        QCOMPARE(shown, QString::fromLatin1(press.Shown));
        QCOMPARE(QApplication::focusWidget(), Find("Edit3"));
    }
    OpenSchedulePage();
    const auto sent = device_->Requests().size();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(device_->Requests().size(), sent);
}

void WindowTest::schedulePageLoadsTheEightRows() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->ReplyBody(Outlets("0", "0", "0", "0"));
    device_->ReplyBody("<html>2007-03-05,15:30:00-127-1</html>");
    device_->ReplyBody("<html></html>");
    device_->ReplyBody("<html>2026-12-24,06:00:09-031-0</html>");
    device_->ReplyBody("<html>2026-01-02,23:59:59-003-2</html>");
    for (int i = 0; i < 4; ++i)
        device_->ReplyBody("<html>2010-10-10,10:10:10-096-1</html>");
    OpenSchedulePage();
    QVERIFY(failures_.isEmpty());
    QCOMPARE(Targets(), (QList<QString>{QStringLiteral("/Set.cmd?CMD=GetPower"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=1A"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=1B"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=2A"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=2B"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=3A"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=3B"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=4A"),
                                        QStringLiteral("/Set.cmd?CMD=GetSchedule+Power=4B")}));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker1")->date(), QDate(2007, 3, 5));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker2")->time(), QTime(15, 30, 0));
    QCOMPARE(Find<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Everyday"));
    QCOMPARE(Find<QComboBox>("ComboBox2")->currentText(), QStringLiteral("ON"));
    // an empty reply keeps the row
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker3")->date(), QDate(2006, 11, 27));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker4")->time(), QTime(8, 5, 5));
    QCOMPARE(Find<QComboBox>("ComboBox5")->currentText(), QStringLiteral("Monday to Friday"));
    QCOMPARE(Find<QComboBox>("ComboBox6")->currentText(), QStringLiteral("OFF"));
    // code 3 is no mode
    QCOMPARE(Find<QComboBox>("ComboBox7")->currentText(), QStringLiteral("Disable"));
    // digit 2 selects nothing
    QCOMPARE(Find<QComboBox>("ComboBox8")->currentIndex(), -1);
    QCOMPARE(Find<QComboBox>("ComboBox15")->currentText(), QStringLiteral("Saturday & Sunday"));
    QCOMPARE(window_->StatusText(), QString::fromUtf8(qdl::ui::WindowLogic::CreditLine().c_str()));
}

void WindowTest::scheduleDateThePickerCannotShowFails() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->ReplyBody(Outlets("0", "0", "0", "0"));
    device_->ReplyBody("<html>2-1-0005,15:30:00-127-1</html>");
    OpenSchedulePage();
    QCOMPARE(failures_, QStringList{QStringLiteral("カレンダーに日付時刻を設定できません。.")});
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker1")->date(), QDate(2006, 11, 27));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker2")->time(), QTime(8, 5, 5));
}

void WindowTest::submitSendsTheEightRows() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->ReplyBody("<html></html>"); // the refresh on opening finds nothing: no row is loaded
    OpenSchedulePage();
    Find<QDateTimeEdit>("DateTimePicker1")->setDate(QDate(2007, 3, 5));
    Find<QDateTimeEdit>("DateTimePicker2")->setTime(QTime(15, 30, 0));
    Find<QComboBox>("ComboBox1")->setCurrentIndex(2);
    Find<QComboBox>("ComboBox2")->setCurrentIndex(1);
    Find<QComboBox>("ComboBox16")->setCurrentIndex(-1);
    Find<QComboBox>("ComboBox15")->setCurrentIndex(4);
    Find<QComboBox>("ComboBox9")->setCurrentIndex(3);
    Find<QComboBox>("ComboBox11")->setCurrentIndex(1);
    for (int i = 0; i < 8; ++i)
        device_->ReplyBody(i == 2 ? "<html></html>" : "<html>ok</html>");
    Click("SpeedButton5");
    const QString plain = QStringLiteral("YY=2006+MM=11+DD=27+HH=08+MN=05+SS=05+PARAM=%1+ONOFF=%2");
    QCOMPARE(
        Targets(),
        (QList<QString>{
            QStringLiteral("/Set.cmd?CMD=GetPower"),
            QStringLiteral(
                "/Set.cmd?CMD=SetSchedule+Power=1A+YY=2007+MM=03+DD=05+HH=15+MN=30+SS=00+PARAM=127+ONOFF=1"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=1B+") + plain.arg("000", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=2A+") + plain.arg("000", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=2B+") + plain.arg("000", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=3A+") + plain.arg("031", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=3B+") + plain.arg("128", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=4A+") + plain.arg("000", "0"),
            QStringLiteral("/Set.cmd?CMD=SetSchedule+Power=4B+") + plain.arg("096", "0"),
        }));
    QVERIFY(failures_.isEmpty());
    // Submit changes nothing on the window
    QCOMPARE(window_->StatusText(), QString::fromUtf8(qdl::ui::WindowLogic::CreditLine().c_str()));
}

void WindowTest::passwordBoxLimitsTypingNotLoading() {
    WriteSettings(device_->Port(), QStringLiteral("0123456789"));
    OpenWindow();
    auto* password = Find<QLineEdit>("Edit4");
    QCOMPARE(password->text(), QStringLiteral("0123456789"));
    password->setFocus();
    password->end(false);
    QTest::keyClick(password, Qt::Key_X);
    QCOMPARE(password->text(), QStringLiteral("0123456789"));
    QTest::keyClick(password, Qt::Key_Backspace);
    QCOMPARE(password->text(), QStringLiteral("012345678"));
    SetText("Edit4", QStringLiteral("abcdefghijk"));
    QCOMPARE(password->text(), QStringLiteral("abcdefgh"));
    QGuiApplication::clipboard()->setText(QStringLiteral("1234"));
    password->setSelection(2, 1);
    QTest::keySequence(password, QKeySequence::Paste);
    QCOMPARE(password->text(), QStringLiteral("ab1defgh"));
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    // The context menu's paste and an input method's commit are cut to fit just the same.
    password->setText(QStringLiteral("abcdef"));
    password->end(false);
    password->paste();
    QCOMPARE(password->text(), QStringLiteral("abcdef12"));
    password->setText(QStringLiteral("abcde"));
    password->end(false);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本語です"));
    QCoreApplication::sendEvent(password, &commit);
    QCOMPARE(password->text(), QStringLiteral("abcde日本語"));
}

void WindowTest::hintsFollowThePointerIntoTheStatusBar() {
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QTest::mouseMove(Find("SpeedButton1"));
    QTRY_COMPARE(window_->StatusText(), QStringLiteral("アドレスを設定して現在の状態を取得します"));
    QTest::mouseMove(Find("PF2"));
    QTRY_COMPARE(window_->StatusText(), QStringLiteral("クリックすると状態を反転します"));
    QTest::mouseMove(Find("SpeedButton3"));
    QTRY_COMPARE(window_->StatusText(), QString());
    // Browsing the menus applies their empty hints the same way.
    QTest::mouseMove(Find("SpeedButton1"));
    QTRY_COMPARE(window_->StatusText(), QStringLiteral("アドレスを設定して現在の状態を取得します"));
    auto* menu = Find<QMenu>("FileF1");
    menu->popup(window_->mapToGlobal(QPoint(0, 20)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QTest::mouseMove(menu, menu->actionGeometry(Find<QAction>("CloseX1")).center());
    QTRY_COMPARE(window_->StatusText(), QString());
    menu->close();
}

void WindowTest::exitMenuClosesTheWindow() {
    OpenWindow();
    QVERIFY(window_->isVisible());
    Find<QAction>("CloseX1")->trigger();
    QVERIFY(!window_->isVisible());
}

void WindowTest::clicksLeaveTheFocusWhereItWas() {
    WriteSettings(device_->Port());
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(Find("PageControl1")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(Find<QTabWidget>("PageControl1")->tabBar()->focusPolicy(), Qt::NoFocus);
    Find("Edit2")->setFocus();
    for (const char* control : {"SpeedButton6", "SpeedButton3", "PB2", "GroupBox1", "TabSheet1"}) {
        Click(control);
        QCOMPARE(QApplication::focusWidget(), Find("Edit2"));
    }
    QTest::keyClick(Find("Edit2"), Qt::Key_Right);
    QCOMPARE(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
}

void WindowTest::aPickerIsOneTabStop() {
    WriteSettings(device_->Port());
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    OpenSchedulePage();
    failures_.clear();
    Find("DateTimePicker1")->setFocus();
    for (const char* next : {"DateTimePicker2", "ComboBox1", "ComboBox2", "DateTimePicker3"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Find(next));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), Find("ComboBox2"));
}

void WindowTest::memoShowsTheGroupBoxColour() {
    OpenWindow();
    const QColor groupBox = Find("GroupBox1")->palette().color(QPalette::Window);
    QCOMPARE(Find("Memo1")->palette().color(QPalette::Base), groupBox);
    QVERIFY(groupBox != QColor(Qt::white));
    QCOMPARE(window_->palette().color(QPalette::Window), QColor(Qt::white));
    for (const char* inner : {"PF1", "PF2", "PF3", "PF4"})
        QVERIFY(Find(inner)->statusTip().isEmpty() && Find(inner)->toolTip().isEmpty());
}

void WindowTest::waitCursorIsLiftedForTheErrorDialog() {
    bool waitCursorWhileOpening = false;
    bool liftedForTheDialog = false;
    DesktopHooks hooks;
    hooks.OpenBrowser = [&](const QString&) {
        waitCursorWhileOpening = QApplication::overrideCursor() != nullptr;
        return false;
    };
    hooks.ShowUrlError = [&](const QString&) {
        liftedForTheDialog = QApplication::overrideCursor() == nullptr;
    };
    window_ = std::make_unique<TForm1>(hooks);
    Attach(window_.get());
    Click("SpeedButton2");
    QVERIFY(waitCursorWhileOpening);
    QVERIFY(liftedForTheDialog);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void WindowTest::replyTextsThatAreNotUtf8AreShownByteForByte() {
    WriteSettings(device_->Port());
    OpenWindow();
    device_->Reply("HTTP/1.1 401 Zugriff verweigert f\xFCr Sie\r\n\r\n");
    device_->Reply("HTTP/1.1 401 \xE8\xAA\x8D\xE8\xA8\xBC\r\n\r\n");
    Click("SpeedButton6");
    Click("SpeedButton6");
    QCOMPARE(failures_, (QStringList{QStringLiteral("HTTP/1.1 401 Zugriff verweigert für Sie."),
                                     QStringLiteral("HTTP/1.1 401 認証.")}));
}

// Counts the paint events a widget receives while `counting` is set.
class PaintCounter : public QObject {
public:
    bool counting = false;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += counting && event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void WindowTest::theWindowPaintsWhileACommandRunsAndHoldsClicksBack() {
    WriteSettings(device_->Port());
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    ScriptedSwitch::Answer slow{"HTTP/1.1 200 OK\r\nContent-Length: 18\r\n\r\n<html>P60=1</html>"};
    slow.Delay = std::chrono::milliseconds(400);
    device_->Script(slow);
    device_->ReplyBody(Outlets("0", "0", "0", "0"));
    device_->ReplyBody(Outlets("0", "0", "0", "0"));
    PaintCounter counter;
    QWidget* status = Find("StatusBar1");
    status->installEventFilter(&counter);
    // While the switch thinks: the window is asked to repaint, and the user clicks All Off.
    QTimer::singleShot(100, [&] {
        counter.counting = true;
        status->update();
        QWidget* allOff = Find("SpeedButton4");
        const QPointF at = allOff->mapTo(window_.get(), allOff->rect().center());
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                window_->windowHandle(), at, window_->mapToGlobal(at),
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type);
        QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            window_->windowHandle());
    });
    Click("SpeedButton6");
    counter.counting = false;
    QVERIFY(counter.paints > 0);
    QVERIFY2(window_->isVisible(), "the close request waits for the command");
    QVERIFY(IsOn(1));
    QCOMPARE(Targets(), QList<QString>{QStringLiteral("/Set.cmd?CMD=GetPower")});
    QTRY_COMPARE(Targets().size(), 3);
    QCOMPARE(Targets()[1], QStringLiteral("/Set.cmd?CMD=SetPower+P60=0+P61=0+P62=0+P63=0"));
    QVERIFY(!IsOn(1));
    QTRY_VERIFY(!window_->isVisible());
    QVERIFY(failures_.isEmpty());
}

void WindowTest::webControlHandsTheRawTextToTheDesktop() {
    QFile opener(folder_->filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s' \"$1\" > opened.txt\n");
    opener.close();
    opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", folder_->path().toUtf8() + ":" + savedPath);
    DesktopHooks hooks;
    hooks.ShowUrlError = [this](const QString& text) { urlErrors_ << text; };
    window_ = std::make_unique<TForm1>(hooks);
    Attach(window_.get());
    SetText("Edit1", QStringLiteral("127.0.0.1"));
    SetText("Edit2", QStringLiteral("abc"));
    Click("SpeedButton2");
    qputenv("PATH", savedPath);
    QFile opened(QStringLiteral("opened.txt"));
    QTRY_VERIFY(opened.exists() && opened.size() > 0);
    QVERIFY(opened.open(QIODevice::ReadOnly));
    QCOMPARE(opened.readAll(), QByteArray("http://127.0.0.1:abc"));
    QVERIFY(urlErrors_.isEmpty());
}

// The room a control's text has inside its frame, buttons and padding.
int TextRoom(QWidget* control) {
    QStyle* style = control->style();
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
            .width();
    }
    if (auto* picker = qobject_cast<QAbstractSpinBox*>(control)) {
        const QLineEdit* edit = picker->findChild<QLineEdit*>();
        const QMargins margins = edit->textMargins();
        // A line edit keeps two pixels clear on either side of its text.
        return edit->contentsRect().width() - margins.left() - margins.right() - 4;
    }
    return control->contentsRect().width();
}

void WindowTest::everyTextFitsItsControl() {
    OpenWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    OpenSchedulePage();
    QList<QPair<QWidget*, QString>> texts;
    for (auto* label : window_->findChildren<QLabel*>())
        if (!label->text().isEmpty() && label->objectName() != QStringLiteral("StatusPanel"))
            texts << qMakePair(static_cast<QWidget*>(label), label->text());
    for (auto* button : window_->findChildren<QPushButton*>())
        texts << qMakePair(static_cast<QWidget*>(button), button->text());
    for (auto* list : window_->findChildren<QComboBox*>())
        for (int i = 0; i < list->count(); ++i)
            texts << qMakePair(static_cast<QWidget*>(list), list->itemText(i));
    // The widest values the pickers show: every digit of the fallback font is as wide as the others.
    for (auto* picker : window_->findChildren<QDateTimeEdit*>())
        texts << qMakePair(static_cast<QWidget*>(picker),
                           picker->displayFormat() == QStringLiteral("yyyy/MM/dd")
                               ? QStringLiteral("2006/11/27")
                               : QStringLiteral("23:58:58"));
    QStringList cut;
    for (const auto& [control, text] : texts) {
        const int needed = control->fontMetrics().horizontalAdvance(text);
        if (needed > TextRoom(control))
            cut << QStringLiteral("%1 \"%2\": %3 > %4")
                       .arg(control->objectName(), text)
                       .arg(needed)
                       .arg(TextRoom(control));
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
