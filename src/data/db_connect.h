#pragma once

// Opening and closing the connections of the database layer; not part of its
// interface.

#include <QString>

#include <string>

#include "data/database_location.h"
#include "data/dialect.h"
#include "data/experiment_db.h"
#include "engine/result.h"

namespace kestu::dbdetail {

// A connection name no other connection of the process has.
QString NewConnectionName();

// Closes and forgets a connection. No QSqlDatabase or QSqlQuery of it may be alive.
void Drop(const QString& name);

// Adds and opens the connection `name` to the file or the server; a server
// connection is checked to reach the study's tables unless `bare`. On failure
// the caller still drops the connection.
Status Connect(const QString& name, const DatabaseLocation& where, OpenMode mode, bool bare = false);

}  // namespace kestu::dbdetail
