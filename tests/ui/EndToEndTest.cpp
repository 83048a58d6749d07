// The window against the stand-in switch, as a user with no switch at hand would run it.
#include "FailureReporter.h"
#include "FormatSettings.h"
#include "QDL4816U.h"
#include "SwitchServer.h"
#include "WindowDriver.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>
#include <thread>

using namespace qdl::standin;

class EndToEndTest : public QObject, private WindowDriver {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void outletsFollowTheClicks();
    void refreshShowsWhatTheSwitchDidOnItsOwn();
    void scheduleIsLoadedSubmittedAndReadBack();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString savedFolder_;
    std::unique_ptr<SwitchState> state_;
    std::ostringstream log_;
    std::unique_ptr<SwitchServer> server_;
    std::thread serving_;
    std::unique_ptr<TForm1> window_;
    QStringList failures_;
};

void EndToEndTest::init() {
    ParkPointer();
    savedFolder_ = QDir::currentPath();
    folder_ = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(folder_->path());
    state_ = std::make_unique<SwitchState>(CivilTime{2026, 12, 7, 12, 0, 0});
    server_ = std::make_unique<SwitchServer>(*state_, SwitchOptions{}, log_);
    const int port = server_->Bind();
    serving_ = std::thread([this] { server_->Serve(); });

    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QFile settings(program + QStringLiteral(".ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(
        QStringLiteral("[%1]\r\nIPV4=localhost\r\nPort=%2\r\nUserName=admin\r\nPass=40617253\r\n\r\n")
            .arg(program)
            .arg(port)
            .toUtf8());
    settings.close();

    failures_.clear();
    SetFailureReporter([this](const QString&, const QString& text) { failures_ << text; });
    qdl::ProcessFormatSettings().Order = qdl::DateOrder::MonthDayYear;
    window_ =
        std::make_unique<TForm1>(DesktopHooks{[](const QString&) { return true; }, [](const QString&) {}});
    window_->show();
    Attach(window_.get());
}

void EndToEndTest::cleanup() {
    window_.reset();
    server_->Stop();
    serving_.join();
    server_.reset();
    state_.reset();
    QDir::setCurrent(savedFolder_);
    folder_.reset();
    SetFailureReporter(nullptr);
}

void EndToEndTest::outletsFollowTheClicks() {
    Click("SpeedButton1");
    QVERIFY(!Find("PPW")->isHidden());
    Click("PB1");
    Click("PB3");
    QVERIFY(state_->Outlet(1) && !state_->Outlet(2) && state_->Outlet(3) && !state_->Outlet(4));
    QCOMPARE(window_->StatusText(), QStringLiteral("+P60=1+P61=0+P62=1+P63=0"));
    Click("PF1");
    QVERIFY(!state_->Outlet(1));
    Click("SpeedButton3");
    QVERIFY(state_->Outlet(1) && state_->Outlet(2) && state_->Outlet(3) && state_->Outlet(4));
    QVERIFY(IsOn(1) && IsOn(2) && IsOn(3) && IsOn(4));
    Click("SpeedButton4");
    QVERIFY(!state_->Outlet(1) && !state_->Outlet(2) && !state_->Outlet(3) && !state_->Outlet(4));
    QVERIFY(!IsOn(1) && !IsOn(2) && !IsOn(3) && !IsOn(4));
    QCOMPARE(window_->StatusText(), QStringLiteral("+P60=0+P61=0+P62=0+P63=0"));
    QVERIFY(failures_.isEmpty());
}

void EndToEndTest::refreshShowsWhatTheSwitchDidOnItsOwn() {
    state_->Command("CMD=SetSchedule+Power=4B+YY=2026+MM=12+DD=07+HH=12+MN=30+SS=00+PARAM=128+ONOFF=1");
    state_->Tick({2026, 12, 7, 12, 30, 0});
    Click("SpeedButton6");
    QVERIFY(!IsOn(1) && !IsOn(2) && !IsOn(3) && IsOn(4));
    QVERIFY(failures_.isEmpty());
}

void EndToEndTest::scheduleIsLoadedSubmittedAndReadBack() {
    state_->Command("CMD=SetSchedule+Power=2A+YY=2007+MM=03+DD=05+HH=15+MN=30+SS=00+PARAM=127+ONOFF=1");
    ShowPage(1);
    QVERIFY(failures_.isEmpty());
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker5")->date(), QDate(2007, 3, 5));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker6")->time(), QTime(15, 30, 0));
    QCOMPARE(Find<QComboBox>("ComboBox5")->currentText(), QStringLiteral("Everyday"));
    QCOMPARE(Find<QComboBox>("ComboBox6")->currentText(), QStringLiteral("ON"));

    Find<QDateTimeEdit>("DateTimePicker15")->setDate(QDate(2027, 1, 2));
    Find<QDateTimeEdit>("DateTimePicker16")->setTime(QTime(6, 7, 8));
    Find<QComboBox>("ComboBox15")->setCurrentIndex(4);
    Find<QComboBox>("ComboBox16")->setCurrentIndex(1);
    Click("SpeedButton5");
    const ScheduleEntry entry = state_->Entry(7);
    QCOMPARE(entry.At.Year, 2027);
    QCOMPARE(entry.At.Day, 2);
    QCOMPARE(entry.At.Second, 8);
    QCOMPARE(entry.RepeatCode, 96);
    QVERIFY(entry.On);

    Find<QDateTimeEdit>("DateTimePicker15")->setDate(QDate(2030, 1, 1));
    ShowPage(0);
    ShowPage(1);
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker15")->date(), QDate(2027, 1, 2));
    QCOMPARE(Find<QComboBox>("ComboBox15")->currentText(), QStringLiteral("Saturday & Sunday"));
    QCOMPARE(Find<QDateTimeEdit>("DateTimePicker5")->date(), QDate(2007, 3, 5));
    QVERIFY(failures_.isEmpty());
}

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
