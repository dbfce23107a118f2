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

// The rows of a statement on a PostgreSQL server, streamed: they come one
// by one as the server sends them (libpq's single-row mode). The read
// stands part-way on the connection until its last row, and is given up
// when another command needs the connection or the program waits for the
// user; the rows not read yet then come by running the statement again.
// Nothing stays on the server between two reads, neither a cursor nor a
// transaction nor a lock, so that a pooler may hand the next statement to
// another server session.
//
// Run again from a row past the first, a plain query is run as
// "SELECT * FROM (<query>) OFFSET <row>": the server skips the rows before
// it without sending them, and it counts them as "SELECT count(*) FROM
// (<query>)". A statement that cannot stand in a subquery (SHOW, EXPLAIN,
// an insert returning rows) runs as it is, the rows before are read and
// dropped, and its rows are not counted.
class PostgresResult : public EngineResult, private pg::Stream
{
public:
    // Runs `statement`. Null when the statement yields no columns;
    // `rowsAffected` then tells the rows it changed. `chunked` (on a
    // screen): outside a transaction block of the script's, a query is read
    // through a cursor in a transaction of its own, a chunk of rows per
    // round trip, the transaction ended with the read or when the read is
    // given up; it is streamed otherwise.
    static std::unique_ptr<PostgresResult> open(const std::shared_ptr<pg::Session> &session,
                                                const QString &statement, bool chunked, qint64 *rowsAffected);
    ~PostgresResult() override;

    bool next() override;
    QVariant value(int column) const override;
    void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const override;
    bool pause() override;
    qint64 restart(qint64 row) override;
    qint64 rerun() override;
    ResultOrigin origin() override;
    bool canCount() const override { return m_skip != Skip::Refused; }
    // Counts as SELECT count(*) FROM (<query>).
    qint64 countRows() override;

private:
    PostgresResult(std::shared_ptr<pg::Session> session, QString statement);

    void describe(const PGresult *result);
    // Sends the statement, or from row `from` on its query with the rows
    // before left out, and stands before its first row; returns the row
    // it starts from (0 where the statement is no query).
    qint64 sendStatement(qint64 from = 0);
    // Read through a cursor in a transaction of its own: the next chunk of
    // rows; the end of that transaction.
    void fetchChunk();
    void endOwnBlock();
    // Takes the next result of the read as its next row.
    bool takeRow(pg::ResultPtr result);
    void endRead();
    void giveUp() override;
    // The row of m_rows that the read stands on, when `column` is one of
    // the result's; -1 when there is none.
    int rowAtHand(int column) const;
    // Whether the query may be run in a subquery now: known to be taken, or
    // not tried yet outside a transaction block, where its refusal fails no
    // block.
    bool maySubquery() const;

    std::shared_ptr<pg::Session> m_session;
    QString m_statement;
    pg::ResultPtr m_rows;    // the row read last
    pg::ResultPtr m_pending; // the first result, read when the statement ran
    qint64 m_row = -1;
    bool m_reading = false; // the read stands part-way on the connection (in its own block too)
    bool m_inBlock = false; // it was sent inside a transaction block
    bool m_ended = false;
    // Read through a cursor in a transaction of its own (m_rows is a chunk,
    // m_chunkRow its row read last).
    bool m_ownBlock = false;
    bool m_chunks = false;  // a query may be read so
    bool m_chunked = false; // the rows at hand came so
    int m_chunkRow = -1;
    static constexpr int kChunkRows = 10000;
    // The statement as a query with the rows before a row left out (its
    // "OFFSET" form): not tried yet, taken, refused.
    enum class Skip { Untried, Offset, Refused };
    Skip m_skip = Skip::Untried;
    QVector<unsigned> m_types;
    QVector<pg::ColumnSource> m_sources;
};

} // namespace rux
