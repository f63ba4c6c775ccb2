// The commands on a study kept on the server: the logs come from its table
// TrialLogs, and each command names the server it uses.
#include "ctl_fixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "support/test_server.h"

namespace kestu::ctl::testing {
namespace {

class ServerStudyTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        url_ = testsupport::NewServerDatabase();
        Ok({"init", url_});
    }
    void TearDown() override { testsupport::DropServerDatabase(url_); }

    std::string url_;
};

TEST_F(ServerStudyTest, RescoreAndReplayReadTheStoredLogsAndSaySo)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir("seat"));
    for (const char* seed : {"21", "22"}) Ok({"run-trial", url_, "kim", "--seed", seed, "--logs", Path("seat")});

    const CommandResult rescored = Run({"rescore", url_, "kim", "--all"});
    EXPECT_EQ(rescored.status, ExitOk) << rescored.out << rescored.err;
    for (const char* trial : {"1", "2"})
        EXPECT_TRUE(Has(rescored.out, std::string("trial ") + trial + " (table TrialLogs, database): agrees"));
    EXPECT_TRUE(Has(rescored.err, "kestuctl: database " + url_.substr(0, url_.rfind('@') + 1)));
    EXPECT_TRUE(Has(rescored.err, " (server)\n"));

    // The seat's file and the stored copy give the same replay.
    const std::string fromFile = Ok({"replay", url_, Path("seat/kim.2")});
    const std::string fromTable = Ok({"replay", url_, Path("kim.2")});
    EXPECT_TRUE(Has(fromTable, "(the copy in table TrialLogs of the database)"));
    EXPECT_EQ(fromFile.find("table TrialLogs"), std::string::npos);
    EXPECT_EQ(fromFile.substr(fromFile.find('\n')), fromTable.substr(fromTable.find('\n')));
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Ok({"replay", url_, Path("kim.1"), "--json"}))).object();
    EXPECT_EQ(json["logSource"].toString(), "database");
}

}  // namespace
}  // namespace kestu::ctl::testing
