#pragma once

#include "db/sqldataset.h"

namespace rux {

// The table object (`ADOTable1`): all rows of one table, open for editing.
// The name follows the bracket rule; setting another name while the table
// is open fails, so callers close it first.
class AdoTable : public SqlDataSet
{
    Q_OBJECT
public:
    AdoTable(AdoConnection *connection, const QString &objectName, QObject *parent = nullptr);

    QString tableName() const { return m_tableName; }
    void setTableName(const QString &name);

    void Open();
    void Close();
    bool active() const { return isActive(); }

private:
    QString m_tableName;
};

} // namespace rux
