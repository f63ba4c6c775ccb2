// The login window: the User ID rule, the lookup, registration on the spot,
// and the mode flags it leaves behind; the questionnaire: its checks in their
// order, and the row it stores; the program's start: what a refused login
// leaves behind, the order in which windows open, and a plant that cannot load.
#include <QElapsedTimer>
#include <QTimer>

#include <iterator>

#include "app/startup.h"
#include "app/study_settings.h"
#include "data/seat_status.h"
#include "data/study_ini.h"
#include "data/participant_lock.h"
#include "ui/frm_login.h"
#include "ui/frm_new_user.h"
#include "ui/frm_sim_options.h"
#include "ui/frm_splash.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

class LoginTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        login_ = std::make_unique<ui::frmLogin>(participant_, dbPath_);
        login_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(login_.get()));
    }
    void PressOk(const QString& userId)
    {
        login_->txtUserID->setText(typed_ = userId);
        Click(login_->cmdOK);
    }
    // Neither accepted nor closed, the login waits in the User ID box, which keeps what was typed.
    void ExpectStillOpen(const std::string& step)
    {
        EXPECT_TRUE(!login_->LoginAccepted && login_->isVisible()) << step;
        EXPECT_EQ(login_->focusWidget(), login_->txtUserID) << step;
        EXPECT_EQ(login_->txtUserID->text(), typed_) << step;
    }
    int Participants() { return SqlValue("SELECT count(*) FROM UserData").toInt(); }

    std::unique_ptr<ui::frmLogin> login_;
    QString typed_;
};

// A lookup that fails is reported, by database, and leaves the window open;
// the login never creates the database. An empty or malformed ID is refused
// on OK, with the rule, without the database being opened; Cancel refuses
// the login.
TEST_F(LoginTest, RefusesFailedLookupsAndIdsThatBreakTheRuleAndCancels)
{
    AddParticipant("ann", "four");
    PressOk("ann");
    ExpectOneMessageWith({"UserData", "TrialNum", "\"ann\"", "\"four\"", DbPathText()}, QMessageBox::Critical);
    messages_.shown.clear();
    std::filesystem::remove(dbPath_);
    PressOk("ann");
    ExpectOneMessageWith({DbPathText()}, QMessageBox::Critical);
    ExpectStillOpen("no database");
    messages_.shown.clear();

    // What is typed is kept as typed, never rewritten or cut; the rule shows
    // while the text breaks it, in room kept for it, so nothing moves.
    login_->txtUserID->clear();
    const QRect modesBefore = login_->fraMode->geometry();
    QTest::keyClicks(login_->txtUserID, "kim 01");
    EXPECT_EQ(login_->txtUserID->text(), "kim 01");
    EXPECT_TRUE(login_->lblUserIdRule->isVisible());
    EXPECT_EQ(login_->fraMode->geometry(), modesBefore);
    EXPECT_TRUE(login_->rect().contains(login_->lblUserIdRule->geometry()));
    EXPECT_GE(login_->lblUserIdRule->height(), login_->lblUserIdRule->heightForWidth(login_->lblUserIdRule->width()))
        << "the rule is not clipped";
    login_->txtUserID->clear();
    QTest::keyClicks(login_->txtUserID, "abcdefghij");
    EXPECT_EQ(login_->txtUserID->text(), "abcdefghij") << "a long ID is not cut";
    login_->txtUserID->clear();
    QTest::keyClicks(login_->txtUserID, "kim_01");
    EXPECT_FALSE(login_->lblUserIdRule->isVisible());
    login_->Training->setChecked(true);
    for (const char* id : {"", "x'y", "kim 01", "abcdefghij"}) {
        PressOk(id);
        ExpectStillOpen(std::string("after \"") + id + "\"");
    }
    ASSERT_EQ(messages_.shown.size(), 4u);
    EXPECT_TRUE(messages_.shown[3].text.contains("at most 8")) << messages_.shown[3].text.toStdString();
    EXPECT_EQ(std::tuple(messages_.shown[0].icon, messages_.shown[0].title, messages_.shown[0].text),
              std::tuple(QMessageBox::Information, "Login", "A User ID must be specified."));
    EXPECT_TRUE(messages_.shown[1].text.contains("letters")) << messages_.shown[1].text.toStdString();
    EXPECT_TRUE(participant_.TrainingMode && !participant_.ReplayMode) << "the mode flags are set on every press";
    EXPECT_FALSE(std::filesystem::exists(dbPath_));

    Click(login_->cmdCancel);
    EXPECT_FALSE(login_->LoginAccepted || login_->isVisible());
    EXPECT_EQ(login_->result(), QDialog::Rejected);
}

// Answered No, then Yes with the questionnaire cancelled: the login stays
// open and nothing is stored (the whole-trial test completes a registration).
TEST_F(LoginTest, AnUnknownIdIsOfferedRegistration)
{
    messages_.answers = {QMessageBox::No, QMessageBox::Yes};
    PressOk("newbie");
    ExpectOneMessageWith({"User ID not found.  Register as a new user?"}, QMessageBox::Warning);
    EXPECT_EQ(messages_.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(modals_.opened.empty());
    ExpectStillOpen("answered No");

    modals_.on["frmNewUser"] = [](QDialog& dialog) { dynamic_cast<ui::frmNewUser&>(dialog).cmdCancel_Click(); };
    PressOk("newbie");
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmNewUser"});
    ExpectStillOpen("questionnaire cancelled");
    EXPECT_EQ(Participants(), 0);
}

// A second copy of the program (a double-clicked icon) cannot take a
// participant that a running copy holds, nor register one twice.
TEST_F(LoginTest, AUserIdHeldByAnotherWindowIsRefusedAndNothingIsWritten)
{
    auto other = ParticipantLock::Take(dbPath_, "kim");
    ASSERT_TRUE(other.ok()) << other.error();
    PressOk("kim");
    ExpectOneMessageWith({"User ID kim is in use by another Kestu window on this computer."}, QMessageBox::Warning);
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_EQ(Participants(), 0);

    other = Fault{"that copy ended"};
    AddParticipant("kim", "2");
    PressOk("kim");
    EXPECT_TRUE(login_->LoginAccepted);
    EXPECT_FALSE(ParticipantLock::Take(dbPath_, "kim").ok()) << "the accepted login holds kim";
}

// The lists open with nothing chosen; then one answer put right after another:
// each press shows only the first check that fails, and nothing is stored
// until all pass.
using NewUserTest = UiTest;

TEST_F(NewUserTest, TheChecksInTheirOrderTheRowStoredAsTypedAndNoneWithoutOk)
{
    std::unique_ptr<ExperimentDb> db;
    std::unique_ptr<ui::frmNewUser> form;
    auto Open = [&](OpenMode mode, const QString& id) {
        form.reset();
        auto opened = ExperimentDb::Open(dbPath_, mode);
        ASSERT_TRUE(opened.ok()) << opened.error();
        db = std::move(opened).value();
        form = std::make_unique<ui::frmNewUser>(participant_,
                                                 [&db](const Participant& row) { return db->AddParticipant(row); });
        form->ID->setText(id);
        form->FName->setText("Zoe");
        form->LName->setText("Park");
        form->Age->setText("20");
    };
    auto Rows = [&] { return SqlValue("SELECT count(*) FROM UserData").toInt(); };
    Open(OpenMode::ReadWrite, "zoe");
    for (const QComboBox* list : {form->Class, form->Major, form->Sex}) EXPECT_EQ(list->currentIndex(), -1) << Name(list);
    participant_.TrialNum = 7;
    participant_.ReplayMode = true;
    std::size_t shown = 0;
    auto refused = [&](const QString& text, const std::string& step) {
        form->cmdOK_Click();
        ASSERT_EQ(messages_.shown.size(), ++shown) << step;
        const ShownMessage& m = messages_.shown.back();
        EXPECT_TRUE(m.text == text && m.title == "New User Questionaire" && m.icon == QMessageBox::Warning)
            << step << ": " << m.text.toStdString();
        EXPECT_FALSE(form->Registered) << step;
        EXPECT_EQ(Rows(), 0) << step;
    };
    // Every answer is missing; only the name message is shown, before the defaults.
    form->FName->setText("   ");
    form->Age->setText("");
    refused("The name fields can not be left blank.", "first name blank");
    EXPECT_TRUE(form->Class->currentText().isEmpty()) << "the defaults come after the name check";
    form->FName->setText(" Zoe ");
    form->LName->setText("");
    refused("The name fields can not be left blank.", "last name empty");

    form->LName->setText("Park");
    form->Major->setCurrentText("Physics");
    refused("Please select a Sex.", "no sex");
    EXPECT_EQ(form->Class->currentText(), "Other");
    EXPECT_EQ(form->Major->currentText(), "Physics");
    form->Major->setCurrentIndex(-1);
    refused("Please select a Sex.", "no sex, no major");
    EXPECT_EQ(form->Major->currentText(), "Other");

    form->Major->setCurrentText("Physics");
    form->Sex->setCurrentText("Female");
    for (const char* age : {"", "4", "abc", "4.9", " -20"}) {
        form->Age->setText(age);
        refused("Please enter your age.", std::string("age ") + age);
    }

    form->Age->setText("5 years");
    form->cmdOK_Click();
    EXPECT_EQ(messages_.shown.size(), shown);
    EXPECT_TRUE(form->Registered);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(participant_.TrialNum, 0);
    EXPECT_FALSE(participant_.ReplayMode);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(SqlValue("SELECT UserID || '|' || FirstName || '|' || LastName || '|' || SchoolYear || '|' || Major || "
                       "'|' || Sex || '|' || Age || '|' || TrialNum FROM UserData")
                  .toString(),
              "zoe| Zoe |Park|Other|Physics|Female|5 years|0");

    // Cancel, closing the window and a store that fails leave a participant unregistered.
    Open(OpenMode::ReadWrite, "amy");
    form->Sex->setCurrentText("Female");
    form->cmdCancel_Click();
    form->show();
    form->close();
    EXPECT_FALSE(form->Registered);
    Open(OpenMode::ReadOnly, "amy");
    form->Sex->setCurrentText("Female");
    messages_.shown.clear();
    form->cmdOK_Click();
    ExpectOneMessageWith({DbPathText()}, QMessageBox::Critical);
    EXPECT_EQ(messages_.shown.at(0).title, "New User Questionaire");
    EXPECT_FALSE(form->Registered);
    EXPECT_NE(form->result(), QDialog::Accepted);
    EXPECT_EQ(Rows(), 1);
}

std::string FileBytes(const std::string& path)
{
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

class StartupTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        AddParticipant("ann", "2");
    }
    // A run of the program with no splash wait, its login answered by `login`.
    StartupResult Run(std::function<void(QDialog&)> login)
    {
        startup_.reset();
        state_ = RunState{};
        state_.ProgramFolder = folder_;
        state_.SeatName = seatName_;
        modals_.on["frmLogin"] = std::move(login);
        modals_.opened.clear();
        startup_ = std::make_unique<Startup>(state_);
        return startup_->Run({.splashMilliseconds = 0, .loginShown = {}});
    }
    static std::function<void(QDialog&)> LogInAs(const QString& userId, const char* mode = "Experiment")
    {
        return [userId, mode](QDialog& dialog) {
            auto& login = dynamic_cast<ui::frmLogin&>(dialog);
            login.findChild<QRadioButton*>(mode)->setChecked(true);
            login.txtUserID->setText(userId);
            login.cmdOK_Click();
        };
    }

    // The seat's row once it shows `phase` for `user`, waiting a little; none when it never does.
    std::optional<SeatRow> SeatRowWhen(const std::string& seat, const std::string& user, const std::string& phase)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 3000) {
            if (auto db = ExperimentDb::Open(dbPath_, OpenMode::ReadOnly))
                if (auto board = db.value()->ReadSeatBoard())
                    for (const SeatRow& row : board.value().Seats)
                        if (row.Seat == seat && row.UserID == user && row.Phase == phase) return row;
            QTest::qWait(20);
        }
        return std::nullopt;
    }

    RunState state_;
    std::string seatName_;
    std::unique_ptr<Startup> startup_;
};

// Once a participant is logged in, the window's seat reports itself Idle
// with the User ID, then each phase of its trials; kestu.ini can name the
// seat or switch its reports off, and the command line's name comes first.
TEST_F(StartupTest, TheWindowsSeatReportsItsParticipantAndEachPhase)
{
    modals_.on["frmSimOptions"] = [](QDialog& dialog) { dynamic_cast<ui::frmSimOptions&>(dialog).cmdContinue_Click(); };
    seatName_ = "lab-05";
    ASSERT_EQ(Run(LogInAs("ann")), StartupResult::Running);
    ASSERT_TRUE(SeatRowWhen("lab-05", "ann", "Idle"));
    ui::frmSimulation* window = startup_->SimulationWindow();
    ASSERT_TRUE(window->session().trial.SetUpTrial());
    const auto setUp = SeatRowWhen("lab-05", "ann", "SetUp");
    ASSERT_TRUE(setUp);
    EXPECT_EQ(setUp->TrialNum, 3);
    EXPECT_EQ(setUp->EndSeconds, 480);
    startup_.reset();  // the program ends: the last phase is reported once more
    EXPECT_TRUE(SeatRowWhen("lab-05", "ann", "SetUp"));

    // The study folder's kestu.ini names a server; a folder without one has no [seat].
    const auto seat = StudySeat(folder_);
    ASSERT_TRUE(seat) << seat.error();
    EXPECT_TRUE(seat.value().reports);
    EXPECT_EQ(seat.value().name, std::nullopt);
    std::ofstream(FilePath("kestu.ini"), std::ios::binary)
        << "[database]\nurl=postgresql://seat@lab/study\n[seat]\nname=Room 2\nreport=off\n";
    const auto named = StudySeat(folder_);
    ASSERT_TRUE(named) << named.error();
    EXPECT_FALSE(named.value().reports);
    EXPECT_EQ(named.value().name, "Room 2");
}

TEST_F(StartupTest, ARefusedLoginEndsTheRunWithNothingWritten)
{
    const std::string before = FileBytes(dbPath_);
    const std::pair<const char*, std::function<void(QDialog&)>> refusals[] = {
        {"Cancel", [](QDialog& dialog) { dynamic_cast<ui::frmLogin&>(dialog).cmdCancel_Click(); }},
        {"closing the window", [](QDialog& dialog) { dialog.close(); }}};
    for (const auto& [how, refuse] : refusals) {
        SCOPED_TRACE(how);
        EXPECT_EQ(Run(refuse), StartupResult::LoginRefused);
        EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
        EXPECT_EQ(startup_->SimulationWindow(), nullptr);
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_EQ(FileBytes(dbPath_), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << "only the database";
    }
}

// Experiment: the window first, then the options dialog in front of it, whose
// check box shows and hides the window's Feedforward button each time; Replay:
// no options.
TEST_F(StartupTest, AnAcceptedLoginOpensTheWindowAndThenTheOptionsInFrontUnlessReplaying)
{
    bool windowShownFirst = false;
    modals_.on["frmSimOptions"] = [&](QDialog& dialog) {
        ui::frmSimulation* window = startup_->SimulationWindow();
        ASSERT_NE(window, nullptr);
        windowShownFirst = window->isVisible();
        auto& options = dynamic_cast<ui::frmSimOptions&>(dialog);
        EXPECT_EQ(options.parentWidget(), window);
        EXPECT_FALSE(window->FFButton->isVisibleTo(window));
        for (bool on : {true, false, true}) {
            options.chkFeedforward->setChecked(on);
            EXPECT_EQ(std::pair(state_.participant.FeedforwardOn, window->FFButton->isVisibleTo(window)), std::pair(on, on));
        }
        options.HScroll1->setValue(3750);
        options.cmdContinue_Click();
    };
    EXPECT_EQ(Run(LogInAs("ann")), StartupResult::Running);
    EXPECT_EQ(modals_.opened, (std::vector<QString>{"frmLogin", "frmSimOptions"}));
    EXPECT_TRUE(windowShownFirst);
    EXPECT_EQ(std::pair(state_.participant.TrialNum, state_.participant.SimRate), std::pair(2, 3750));

    EXPECT_EQ(Run(LogInAs("ann", "Replay")), StartupResult::Running);
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
    EXPECT_FALSE(state_.participant.SimRate || state_.participant.FeedforwardOn);
    ASSERT_NE(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(startup_->SimulationWindow()->SimulatorMode->text(), "Replay");
}

TEST_F(StartupTest, AWindowThatCannotLoadItsPlantEndsTheRunAfterItsMessage)
{
    SqlValue("DROP TABLE sorttable");
    EXPECT_EQ(Run(LogInAs("ann")), StartupResult::PlantNotLoaded);
    EXPECT_EQ(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
    ExpectOneMessageWith({"sorttable"});
}

// A kestu.ini the program cannot use stops the start before any login, with
// the file, line and reason, and nothing is written to the folder's KESTU.MDB.
TEST_F(StartupTest, AKestuIniThatNamesNoServerStopsTheStartWithItsLineAndReason)
{
    const std::string before = FileBytes(dbPath_);
    std::ofstream(FilePath("kestu.ini"), std::ios::binary) << "[database]\nURL=postgresql://seat@lab/study\n";
    EXPECT_EQ(Run(LogInAs("ann")), StartupResult::StudyRefused);
    EXPECT_TRUE(modals_.opened.empty()) << "no login on another database";
    EXPECT_EQ(startup_->SimulationWindow(), nullptr);
    ExpectOneMessageWith({QString::fromStdString(FilePath("kestu.ini") + ":2: "), "must be written url"},
                         QMessageBox::Critical);
    EXPECT_EQ(FileBytes(dbPath_), before);
}

// A lab's seat names its server once, in the study folder's kestu.ini.
TEST(StudySettingsTest, KestuIniNamesTheDatabaseAndWithoutItTheFolderHoldsKestuMdb)
{
    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString();
    EXPECT_EQ(StudyDatabase(dir).value(), dir + "/KESTU.MDB");
    const auto write = [&](const char* text) {
        QFile ini(folder.filePath(QStringLiteral("kestu.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(text);
    };
    write("[database]\nurl = postgresql://seat@lab-server:5433/study2026?sslmode=require\n");
    EXPECT_EQ(StudyDatabase(dir).value(), "postgresql://seat@lab-server:5433/study2026?sslmode=require");
    write("[display]\nurl=postgresql://elsewhere@x/y\n");
    const auto refused = StudyDatabase(dir);
    ASSERT_FALSE(refused) << "a kestu.ini that names no database never falls back to KESTU.MDB";
    EXPECT_EQ(refused.fault().file, dir + "/kestu.ini");
    EXPECT_EQ(refused.fault().line, 1u);
    ASSERT_TRUE(QFile::remove(folder.filePath(QStringLiteral("kestu.ini"))));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("kestu.ini")));
    const auto unreadable = StudyDatabase(dir);
    ASSERT_FALSE(unreadable) << "a kestu.ini that cannot be read is refused too";
    EXPECT_EQ(StudyIniProblem(unreadable.fault()), dir + "/kestu.ini: cannot be read: it is not a regular file");
    EXPECT_EQ(DeliverKeptResults(dir, dir + "/KESTU.MDB"), "") << "no outbox, nothing to say";
}

TEST(SplashTest, KeepsEventsFlowingWhileHeld)
{
    ui::frmSplash splash;
    splash.show();
    int fired = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++fired; });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    splash.HoldFor(300);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_GE(fired, 5) << "events must be processed during the hold";
}

}  // namespace
}  // namespace kestu::uitest
