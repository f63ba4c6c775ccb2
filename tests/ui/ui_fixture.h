#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QVariant>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "trials/participant.h"

class QWidget;

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
    MessageRecorder();
    ~MessageRecorder();
    std::vector<ShownMessage> shown;
    std::deque<QMessageBox::StandardButton> answers;
};

// Runs modal dialogs without a nested event loop: the action registered for
// the dialog's object name plays the participant, then the dialog's result is
// returned. A dialog without an action is rejected (and the test fails).
class ModalScript {
public:
    ModalScript();
    ~ModalScript();
    void On(const QString& objectName, std::function<void(QDialog&)> action);
    std::vector<QString> opened;

private:
    std::map<QString, std::function<void(QDialog&)>> actions_;
};

// A program folder of its own with a new database holding the standard scenario.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;

    void AddParticipant(const std::string& userId, const std::string& trialNum);
    // Runs statements or reads the first cell of a query on the file directly.
    void Sql(const std::string& statement);
    QVariant SqlValue(const std::string& query);
    std::string FilePath(const std::string& name) const;

    QTemporaryDir dir_;
    std::string folder_;
    std::string dbPath_;
    ParticipantState participant_;
    MessageRecorder messages_;
    ModalScript modals_;
};

// Clicks a button with the mouse, as the participant would.
void Click(QWidget* button);

// The header lines of a trial log ("5,23,\"ON\",17"), without their state lines.
std::vector<std::string> LogHeaders(const std::string& path);

}  // namespace kestu::uitest
