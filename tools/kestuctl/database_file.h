#pragma once

#include <memory>
#include <string>

#include "data/experiment_db.h"

namespace kestu::ctl {

// The database driver takes file names and values as Unicode text, so bytes
// that are not UTF-8 would reach it changed: a name would name another file,
// or none. Such text is refused with a message rather than passed on.
bool ReachesDriverUnchanged(const std::string& text);

// Empty when `path` can be given to the driver, otherwise the message.
std::string DatabaseNameProblem(const std::string& path);

// ExperimentDb::Open and ::Create for a name from the command line.
DbResult<std::unique_ptr<ExperimentDb>> OpenDatabase(const std::string& path, OpenMode mode);
DbStatus CreateDatabase(const std::string& path, NewDbContent content);

}  // namespace kestu::ctl
