#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
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
#include "ui/prompts.h"

namespace kestu::uitest {

struct ShownMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box without showing it. Each answer is taken from
// `answers` in turn; when none is left, the first button offered.
class MessageRecorder {
public:
    MessageRecorder()
    {
        ui::SetMessageFunction([this](QMessageBox::Icon icon, const QString& title, const QString& text,
                                      QMessageBox::StandardButtons buttons) {
            shown.push_back({icon, title, text, buttons});
            if (!answers.empty()) {
                const auto answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return static_cast<QMessageBox::StandardButton>(buttons.toInt() & -buttons.toInt());  // the lowest
        });
    }
    ~MessageRecorder() { ui::SetMessageFunction(nullptr); }
    std::vector<ShownMessage> shown;
    std::deque<QMessageBox::StandardButton> answers;
};

// Runs modal dialogs without a nested event loop: the action registered for
// the dialog's object name plays the participant, then the dialog's result is
// returned. A dialog without an action is rejected (and the test fails).
class ModalScript {
public:
    ModalScript()
    {
        ui::SetModalFunction([this](QDialog& dialog) {
            opened.push_back(dialog.objectName());
            const auto action = actions_.find(dialog.objectName());
            if (action == actions_.end()) {
                ADD_FAILURE() << "no action for the modal dialog " << dialog.objectName().toStdString();
                dialog.reject();
            } else {
                action->second(dialog);
            }
            return dialog.result();
        });
    }
    ~ModalScript() { ui::SetModalFunction(nullptr); }
    void On(const QString& objectName, std::function<void(QDialog&)> action) { actions_[objectName] = std::move(action); }
    std::vector<QString> opened;

private:
    std::map<QString, std::function<void(QDialog&)>> actions_;
};

// A program folder of its own with a new database holding the standard scenario.
class UiTest : public ::testing::Test {
protected:
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
        Sql("INSERT INTO UserData (UserID, FirstName, LastName, SchoolYear, Major, Age, Sex, TrialNum) VALUES ('" +
            userId + "', 'F', 'L', 'Senior', 'Physics', '22', 'Female', '" + trialNum + "')");
    }

    // Runs a statement on the file directly; the first cell of its result, if any.
    QVariant SqlValue(const std::string& statement) { return testsupport::RawSqlValue(dbPath_, statement); }
    void Sql(const std::string& statement) { SqlValue(statement); }

    std::string FilePath(const std::string& name) const { return folder_ + "/" + name; }
    QString DbPathText() const { return QString::fromStdString(dbPath_); }

    // Exactly one message was shown, of `icon` unless NoIcon, its text holding every one of `parts`.
    void ExpectOneMessageWith(const QStringList& parts, QMessageBox::Icon icon = QMessageBox::NoIcon)
    {
        ASSERT_EQ(messages_.shown.size(), 1u);
        if (icon != QMessageBox::NoIcon) {
            EXPECT_EQ(messages_.shown[0].icon, icon);
        }
        for (const QString& part : parts)
            EXPECT_TRUE(messages_.shown[0].text.contains(part))
                << part.toStdString() << " missing in: " << messages_.shown[0].text.toStdString();
    }

    QTemporaryDir dir_;
    std::string folder_;
    std::string dbPath_;
    ParticipantState participant_;
    MessageRecorder messages_;
    ModalScript modals_;
};

// Clicks a button with the mouse, as the participant would.
inline void Click(QWidget* button)
{
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

// The entries of a list, in order.
inline QStringList Entries(const QComboBox* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    return entries;
}

// The header lines of a trial log ("5,23,\"ON\",17"), without their state lines.
inline std::vector<std::string> LogHeaders(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> headers;
    std::string line;
    for (int n = 0; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (n % 2 == 0) headers.push_back(line);
    }
    return headers;
}

}  // namespace kestu::uitest
