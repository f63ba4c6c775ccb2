// kestu-initdb: makes a new experiment database, or checks the scenario
// tables of an existing one after an experimenter has edited them.
//
//   kestu-initdb PATH           create PATH with every table and the standard scenario
//   kestu-initdb --check PATH   read the scenario tables of PATH and report the first problem

#include <QCoreApplication>

#include <iostream>
#include <string>

#include "data/experiment_db.h"

namespace {

constexpr const char* UsageText =
    "usage: kestu-initdb PATH\n"
    "       kestu-initdb --check PATH\n"
    "Creates the experiment database PATH with every table and the standard scenario\n"
    "(an existing file is never touched), or with --check reads the scenario tables\n"
    "of PATH as the program will and reports the first problem.\n";

// A wrong command line: the usage on standard error, exit status 2.
int Usage()
{
    std::cerr << UsageText;
    return 2;
}

int Check(const std::string& path)
{
    auto db = kestu::ExperimentDb::Open(path, kestu::OpenMode::ReadOnly);
    if (!db) {
        std::cerr << db.error() << "\n";
        return 1;
    }
    auto tables = db.value()->ReadScenario();
    if (!tables) {
        std::cerr << tables.error() << "\n";
        return 1;
    }
    std::cout << path << ": " << tables.value().exogenous.size() << " arrival rows, "
              << tables.value().deadline.size() << " deadline rows, " << tables.value().sorttable.size()
              << " outlet rows\n";
    return 0;
}

int Create(const std::string& path)
{
    auto created = kestu::ExperimentDb::Create(path, kestu::NewDbContent::StandardScenario);
    if (!created) {
        std::cerr << created.error() << "\n";
        return 1;
    }
    std::cout << path << ": created with the standard scenario\n";
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);  // lets Qt find its SQLite driver
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::cout << UsageText << std::flush;
        return std::cout ? 0 : 1;
    }
    if (argc == 3 && first == "--check") return Check(argv[2]);
    if (argc == 2 && !first.empty() && first[0] != '-') return Create(first);
    return Usage();
}
