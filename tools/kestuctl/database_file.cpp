#include "kestuctl/database_file.h"

#include <QString>

namespace kestu::ctl {

bool ReachesDriverUnchanged(const std::string& text)
{
    // Qt decodes and encodes text as UTF-8; what does not survive the round
    // trip is not what was given.
    return QString::fromStdString(text).toStdString() == text;
}

std::string DatabaseNameProblem(const std::string& path)
{
    if (ReachesDriverUnchanged(path)) return {};
    return path + ": the name is not valid UTF-8, which the database driver needs; rename the file or its folder";
}

DbResult<std::unique_ptr<ExperimentDb>> OpenDatabase(const std::string& path, OpenMode mode)
{
    if (std::string problem = DatabaseNameProblem(path); !problem.empty()) {
        return DbResult<std::unique_ptr<ExperimentDb>>::Fail(std::move(problem));
    }
    return ExperimentDb::Open(path, mode);
}

DbStatus CreateDatabase(const std::string& path, NewDbContent content)
{
    if (std::string problem = DatabaseNameProblem(path); !problem.empty()) return DbStatus::Fail(std::move(problem));
    return ExperimentDb::Create(path, content);
}

}  // namespace kestu::ctl
