#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/experiment_db.h"
#include "support/raw_sql.h"
#include "trials/participant.h"
#include "ui/frm_simulation.h"
#include "ui/prompts.h"

// Failure messages show a QString as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kestu::uitest {

inline std::string Name(const QObject* object) { return object->objectName().toStdString(); }

// The texts of labels, in order.
inline QStringList Texts(std::initializer_list<const QLabel*> labels)
{
    QStringList texts;
    for (const QLabel* label : labels) texts << label->text();
    return texts;
}

struct ShownMessage {
    QMessageBox::Icon icon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
};

// A program folder of its own with a new database holding the standard scenario.
// Message boxes are recorded, not shown, and answered from `answers` in turn,
// then with the lowest button offered. Modal dialogs run without a nested event
// loop: the action in `modals_.on` for the dialog's object name plays the
// participant; a dialog without one is rejected and the test fails.
class UiTest : public ::testing::Test {
protected:
    UiTest()
    {
        ui::SetMessageFunction([this](QMessageBox::Icon icon, const QString& title, const QString& text,
                                      QMessageBox::StandardButtons buttons) {
            messages_.shown.push_back({icon, title, text, buttons});
            if (messages_.answers.empty()) return static_cast<QMessageBox::StandardButton>(buttons.toInt() & -buttons.toInt());
            const auto answer = messages_.answers.front();
            messages_.answers.pop_front();
            return answer;
        });
        ui::SetModalFunction([this](QDialog& dialog) {
            modals_.opened.push_back(dialog.objectName());
            if (const auto action = modals_.on.find(dialog.objectName()); action != modals_.on.end()) {
                action->second(dialog);
            } else {
                ADD_FAILURE() << "no action for the modal dialog " << Name(&dialog);
                dialog.reject();
            }
            return dialog.result();
        });
    }
    ~UiTest() override
    {
        ui::SetMessageFunction(nullptr);
        ui::SetModalFunction(nullptr);
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path().toStdString();
        dbPath_ = ExperimentDb::DefaultPath(folder_);
        const auto created = ExperimentDb::Create(dbPath_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
    }

    void AddParticipant(const std::string& userId, const std::string& trialNum)
    {
        SqlValue("INSERT INTO UserData (UserID, FirstName, LastName, SchoolYear, Major, Age, Sex, TrialNum) VALUES ('" +
            userId + "', 'F', 'L', 'Senior', 'Physics', '22', 'Female', '" + trialNum + "')");
    }

    // Runs a statement on the file directly; the first cell of its result, if any.
    QVariant SqlValue(const std::string& statement) { return testsupport::RawSqlValue(dbPath_, statement); }

    std::string FilePath(const std::string& name) const { return folder_ + "/" + name; }
    QString DbPathText() const { return QString::fromStdString(dbPath_); }

    // Exactly one message was shown, of `icon` unless NoIcon, its text holding every one of `parts`.
    void ExpectOneMessageWith(const QStringList& parts, QMessageBox::Icon icon = QMessageBox::NoIcon)
    {
        ASSERT_EQ(messages_.shown.size(), 1u);
        const ShownMessage& m = messages_.shown[0];
        EXPECT_TRUE(icon == QMessageBox::NoIcon || m.icon == icon) << m.icon;
        for (const QString& part : parts)
            EXPECT_TRUE(m.text.contains(part)) << part.toStdString() << " missing in: " << m.text.toStdString();
    }

    QTemporaryDir dir_;
    std::string folder_;
    std::string dbPath_;
    ParticipantState participant_;
    struct {
        std::vector<ShownMessage> shown;
        std::deque<QMessageBox::StandardButton> answers;
    } messages_;
    struct {
        std::map<QString, std::function<void(QDialog&)>> on;
        std::vector<QString> opened;
    } modals_;
};

// Clicks a button with the mouse, as the participant would.
inline void Click(QWidget* button)
{
    ASSERT_TRUE(button->isEnabled()) << Name(button) << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

// The header lines of a trial log ("5,23,\"ON\",17"), without their state lines.
inline std::vector<std::string> LogHeaders(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> headers;
    for (std::string header, state; std::getline(in, header); std::getline(in, state)) {
        if (!header.empty() && header.back() == '\r') header.pop_back();
        headers.push_back(header);
    }
    return headers;
}

using Widgets = std::initializer_list<QWidget*>;

// A simulation window on the test's program folder, shown offscreen, for
// participant "ann" after four trials.
class SimWindowTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        AddParticipant("ann", "4");
        participant_ = {.UserID = "ann", .TrialNum = 4};
    }
    void TearDown() override { window_.reset(); }

    // Creates, loads and shows the window; returns what the load step returned.
    bool Open()
    {
        window_ = std::make_unique<ui::frmSimulation>(participant_, dbPath_, folder_);
        const bool loaded = window_->Form_Load();
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return loaded;
    }

    // Opens the window and starts a trial the way the participant does.
    void StartTrial()
    {
        ASSERT_TRUE(Open());
        Click(W().cmdSetup);
        Click(W().cmdSimulate);
    }

    ui::frmSimulation& W() { return *window_; }
    TrialSession& S() { return window_->session(); }
    // Visible once the window is shown, whatever the window's own state.
    bool Shown(const QWidget* w) const { return w->isVisibleTo(window_.get()); }

    // Ticks the way the timer does until the trial ends, before tick n clicking switch clicks[n].
    void RunTicks(const std::map<int, int>& clicks = {})
    {
        for (int tick = 0; S().Ticking() && tick < 5000; ++tick) {
            if (const auto click = clicks.find(tick); click != clicks.end()) Click(W().Switch[click->second]);
            window_->Simulator_Timer();
        }
        ASSERT_FALSE(S().Ticking()) << "the trial did not end";
    }

    std::unique_ptr<ui::frmSimulation> window_;
};

}  // namespace kestu::uitest
