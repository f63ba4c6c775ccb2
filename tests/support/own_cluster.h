#pragma once

// A PostgreSQL cluster of a test's own (tests/support/pg_cluster.sh), for
// tests that stop, restart or reconfigure their server. KESTU_PG_SCRIPT
// names the script; the test program is built with it.

#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kestu::testsupport {

class OwnCluster {
public:
    OwnCluster()
    {
        if (!Run("start")) return;
        std::getline(std::ifstream(state_.filePath(QStringLiteral("cluster/url")).toStdString()), url_);
        std::getline(std::ifstream(state_.filePath(QStringLiteral("cluster/cluster")).toStdString()), folder_);
    }
    ~OwnCluster() { Run("stop"); }
    OwnCluster(const OwnCluster&) = delete;
    OwnCluster& operator=(const OwnCluster&) = delete;

    // start, stop, halt (the server goes away, its data stays) or resume.
    bool Run(const std::string& action)
    {
        const std::string command =
            "bash '" + script_ + "' " + action + " '" + state_.path().toStdString() + "/cluster' >/dev/null";
        return !script_.empty() && std::system(command.c_str()) == 0;
    }
    const std::string& url() const { return url_; }
    // A file of the cluster's data folder (pg_hba.conf, ...).
    std::string DataFile(const std::string& name) const { return folder_ + "/data/" + name; }

private:
    QTemporaryDir state_;
    std::string script_ = KESTU_PG_SCRIPT;
    std::string url_;
    std::string folder_;
};

}  // namespace kestu::testsupport
