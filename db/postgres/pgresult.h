#pragma once

#include "db/engine.h"
#include "db/postgres/pgcatalog.h"
#include "db/postgres/pgsession.h"

#include <memory>

namespace rux {

namespace pg {
// The columns of a result: names, yes/no and exact decimal columns by type.
ResultColumns columnsOf(const PGresult *result);
} // namespace pg

// The rows of a statement on a PostgreSQL server, read in one of two ways:
//  - streamed: the statement's rows come one by one as the server sends
//    them (libpq's single-row mode); the read stands part-way on the
//    connection until its last row, and is given up (and later run again
//    and read up to where it stood) when another command needs the
//    connection;
//  - held: the statement ran into a cursor of the server's own that keeps
//    its rows once it has run (WITH HOLD), fetched in chunks, each a command
//    that ends at once, so that between chunks nothing stays open on the
//    connection, neither a transaction nor a lock.
class PostgresResult : public EngineResult, private pg::Stream
{
public:
    // Runs `statement`; on `hold` into a held cursor where the server can
    // hold its rows (a query, outside a transaction block), streamed
    // otherwise. Null when the statement
    // yields no columns; `rowsAffected` then tells the rows it changed.
    static std::unique_ptr<PostgresResult> open(const std::shared_ptr<pg::Session> &session,
                                                const QString &statement, bool hold,
                                                qint64 *rowsAffected);
    ~PostgresResult() override;

    bool next() override;
    QVariant value(int column) const override;
    void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const override;
    bool pause() override;
    qint64 restart(qint64 row) override;
    qint64 rerun() override;
    ResultOrigin origin() override;

    static constexpr int kChunkRows = 10000;

private:
    PostgresResult(std::shared_ptr<pg::Session> session, QString statement);

    void describe(const PGresult *result);
    // Streamed: sends the statement and stands before its first row.
    void sendStatement();
    // Streamed: takes the next result of the read as its next row.
    bool takeRow(pg::ResultPtr result);
    void endRead();
    void giveUp() override;
    // Held.
    void declare();
    void fetchChunk();
    void closeCursor();

    std::shared_ptr<pg::Session> m_session;
    QString m_statement;
    QString m_cursor; // empty: streamed
    pg::ResultPtr m_rows;    // the row read last (streamed), the chunk (held)
    pg::ResultPtr m_pending; // the first result, read when the statement ran
    int m_chunkRow = -1;
    qint64 m_row = -1;
    bool m_reading = false; // streamed: the read stands part-way on the connection
    bool m_inBlock = false; // it was sent inside a transaction block
    bool m_ended = false;
    QVector<unsigned> m_types;
    QVector<pg::ColumnSource> m_sources;
};

} // namespace rux
