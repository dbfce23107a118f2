#pragma once

#include "exec/runstop.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace rux {

// What one batch of a run did, for the run log.
struct BatchRecord
{
    int line = 0;     // the script line (from 1) where the batch starts
    QString path;     // "data_change", "result_set" or "table_editing"
    qint64 rows = -1; // rows affected (a data change) or read (a result); -1: not known
    QString table;    // the table edited
    QString exportFile;
    qint64 exportRows = -1;
    qint64 ms = 0;
    QString silenced; // the failure of a protected batch, dropped
    QString failed;   // the failure that ends the run
};

// The run log: plain text in UTF-8, one record a line, each line a record
// name followed by key=value fields. A value with a blank, a quote, a
// backslash, an "=" or a control character, and an empty one, stands in
// double quotes with \", \\, \n, \r and \t escaped. Every line goes to the
// file as it is written, so a killed run leaves its log up to the batch it
// died in.
//
//   start version=1.0.0 time=2026-12-09T06:00:01+01:00 pid=4711
//   run time=... database=... script=... run_id=42 single_transaction=yes
//   param name=$station value=2
//   batch line=3 path=data_change rows=5 ms=2
//   transaction outcome=committed exports=1
//   end time=... outcome=success batches=4 ms=31 status=0
//
// The outcome of a run is "success", "failure", "stopped" (the user
// stopped it), "timed_out" (--timeout) or "terminated" (SIGTERM, SIGINT).
class RunLog
{
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

    // Opens `fileName` for appending (created when missing; "-" is standard
    // error) and makes the start record. Throws Failure, with a text that
    // names the file and the system's reason, when it cannot be written:
    // also for a pipe that no program reads. A file whose last record was
    // torn (a full disk) gets a line break before the next one.
    //
    // The records are held until release(): the run first makes sure that
    // the log is none of the files it reads or writes, and refuse()s it
    // otherwise, so that nothing is ever written into them.
    void open(const QString &fileName, const QString &version);
    bool isOpen() const { return m_fd >= 0; }
    QString fileName() const { return m_name; }
    // The log is the file `path` names (links followed; same device and
    // inode). False for standard error and a file that does not exist.
    bool isFile(const QString &path) const;
    // Writes the records held so far; later ones are written at once.
    void release();
    // The log may not be written: the records held are dropped, and none
    // is written any more.
    void refuse() noexcept;

    struct Header
    {
        QString database; // with any password masked
        QString script;
        QString runId;
        QList<QPair<QString, QString>> parameters;
        bool singleTransaction = false;
        // What opening the database left out, one `note` record each.
        QStringList notes;
    };
    // A run starts: its header records. The run's clock starts.
    void beginRun(const Header &header);
    bool runBegun() const { return m_runBegun; }
    // Throws Failure when the line cannot be written.
    void batch(const BatchRecord &record);
    // The run's transaction ended: "committed" or "rolled_back".
    void transaction(const QString &outcome, int exports);
    // The files a killed run left in `folder` were placed (its transaction
    // had committed) or removed.
    void leftover(const QString &folder, const QString &owner, bool placed, int files);
    // The run ended: `failure` empty for success; `cause`: why it was
    // stopped (outcome "stopped", "timed_out" or "terminated"). Never
    // throws; a log that cannot be written any more was reported when it
    // failed.
    void endRun(const QString &failure, int status, StopCause cause = StopCause::None);
    // A message of the toolkit's own. Never throws.
    void message(const QString &level, const QString &text);

    // A value as it stands in a record.
    static QString field(const QString &value);

private:
    void write(const QString &line);
    void writeQuietly(const QString &line) noexcept;

    int m_fd = -1;
    bool m_ownsFd = false;
    QString m_name;
    bool m_broken = false;
    bool m_held = true;
    QByteArray m_pending;
    bool m_runBegun = false;
    int m_batches = 0;
    QString m_transaction;
    QElapsedTimer m_runClock;
};

} // namespace rux
