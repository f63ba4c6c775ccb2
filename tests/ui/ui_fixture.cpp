#include "ui_fixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <fstream>

#include "data/experiment_db.h"
#include "ui/prompts.h"

namespace kestu::uitest {

MessageRecorder::MessageRecorder()
{
    ui::SetMessageFunction([this](QMessageBox::Icon icon, const QString& title, const QString& text,
                                  QMessageBox::StandardButtons buttons) {
        shown.push_back({icon, title, text, buttons});
        if (!answers.empty()) {
            const auto answer = answers.front();
            answers.pop_front();
            return answer;
        }
        for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
                return static_cast<QMessageBox::StandardButton>(bit);
        return QMessageBox::NoButton;
    });
}

MessageRecorder::~MessageRecorder() { ui::SetMessageFunction(nullptr); }

ModalScript::ModalScript()
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

ModalScript::~ModalScript() { ui::SetModalFunction(nullptr); }

void ModalScript::On(const QString& objectName, std::function<void(QDialog&)> action)
{
    actions_[objectName] = std::move(action);
}

void UiTest::SetUp()
{
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path().toStdString();
    dbPath_ = ExperimentDb::DefaultPath(folder_);
    const auto created = ExperimentDb::Create(dbPath_, NewDbContent::StandardScenario);
    ASSERT_TRUE(created.ok()) << created.error();
}

void UiTest::AddParticipant(const std::string& userId, const std::string& trialNum)
{
    Sql("INSERT INTO UserData (UserID, FirstName, LastName, SchoolYear, Major, Age, Sex, TrialNum) VALUES ('" +
        userId + "', 'F', 'L', 'Senior', 'Physics', '22', 'Female', '" + trialNum + "')");
}

namespace {
QVariant RunRaw(const std::string& path, const std::string& statement)
{
    static int counter = 0;
    const QString name = QStringLiteral("ui-test-raw-%1").arg(++counter);
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(path));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QString::fromStdString(statement)))
            << statement << ": " << query.lastError().text().toStdString();
        if (query.next()) result = query.value(0);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
}  // namespace

void UiTest::Sql(const std::string& statement) { RunRaw(dbPath_, statement); }
QVariant UiTest::SqlValue(const std::string& query) { return RunRaw(dbPath_, query); }
std::string UiTest::FilePath(const std::string& name) const { return folder_ + "/" + name; }

void Click(QWidget* button)
{
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<std::string> LogHeaders(const std::string& path)
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
