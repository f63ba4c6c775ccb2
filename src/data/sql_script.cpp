#include "data/db_internal.h"

namespace kestu::dbdetail {

// Qt runs one statement per query, so a script is cut into statements here.
// Quotes ('text', "name") may hold semicolons and comment marks; a doubled
// quote inside them stands for the quote itself and needs no special case,
// as it simply closes and reopens the quoted stretch.
std::vector<QString> SplitSqlScript(const QString& script)
{
    std::vector<QString> statements;
    QString current;
    auto finish = [&] {
        const QString statement = current.trimmed();
        if (!statement.isEmpty()) statements.push_back(statement);
        current.clear();
    };

    const qsizetype n = script.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = script[i];
        const QChar next = i + 1 < n ? script[i + 1] : QChar();
        if (c == u'\'' || c == u'"') {
            const qsizetype close = script.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? n : close + 1;
            current += script.mid(i, end - i);
            i = end - 1;
        } else if (c == u'-' && next == u'-') {
            const qsizetype eol = script.indexOf(u'\n', i);
            i = eol < 0 ? n : eol;
            current += u'\n';
        } else if (c == u'/' && next == u'*') {
            const qsizetype close = script.indexOf(QStringLiteral("*/"), i + 2);
            i = close < 0 ? n : close + 1;
            current += u' ';
        } else if (c == u';') {
            finish();
        } else {
            current += c;
        }
    }
    finish();
    return statements;
}

}  // namespace kestu::dbdetail

namespace kestu::dbdetail {

std::vector<QString> CreateIfMissing(const QString& table)
{
    std::vector<QString> statements;
    const QString quoted = "\"" + table + "\"";
    for (QString statement : SplitSqlScript(QString::fromUtf8(SchemaSql()))) {
        if (statement.contains("CREATE TABLE " + quoted))
            statements.push_back(
                statement.replace(QStringLiteral("CREATE TABLE"), QStringLiteral("CREATE TABLE IF NOT EXISTS")));
        if (statement.contains("ON " + quoted))
            statements.push_back(statement.replace(QStringLiteral("CREATE UNIQUE INDEX"),
                                                   QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS")));
    }
    return statements;
}

}  // namespace kestu::dbdetail
