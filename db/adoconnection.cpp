#include "db/adoconnection.h"

#include "db/connectionstring.h"
#include "db/engines.h"
#include "base/failure.h"
#include "base/textfold.h"

#include <QAbstractEventDispatcher>

namespace rux {

AdoConnection::AdoConnection(const QString &objectName, QObject *parent)
    : QObject(parent), m_connectionString(defaultConnectionString())
{
    setObjectName(objectName);
}

AdoConnection::~AdoConnection()
{
    Close();
}

QString AdoConnection::shownDataSource(const QString &dataSource)
{
    return shownDataSourceText(dataSource);
}

void AdoConnection::setConnectionString(const QString &connectionString)
{
    if (connected()) {
        throw Failure(objectName()
                      + QStringLiteral(": Operation bei geöffneter Verbindung nicht zulässig"));
    }
    m_connectionString = connectionString;
}

void AdoConnection::Open()
{
    if (connected())
        return;
    // A path piece that looks like a known pair ("/d/a;mode=b.db") shows up
    // as a key given twice, or as a flag that holds more than its word:
    // refused as well, so that only the file the string names is opened.
    try {
        QStringList seen;
        for (const ConnectionPair &pair : parseConnectionString(m_connectionString)) {
            const QString key = asciiLower(pair.key.trimmed());
            const bool flagWithText = key == QLatin1String("persist security info")
                && pair.value.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0
                && pair.value.compare(QLatin1String("True"), Qt::CaseInsensitive) != 0;
            if (!isConnectionKey(pair.key) || seen.contains(key) || flagWithText) {
                throw Failure(QStringLiteral("Format of the connection string is invalid near \"%1=%2\".")
                                  .arg(pair.key, pair.value));
            }
            seen.append(key);
        }
    } catch (const Failure &) {
        // The text near the fault may be a piece of a server password.
        refuseBrokenServerUri(m_connectionString);
        throw;
    }
    std::unique_ptr<DatabaseEngine> engine = openEngine(dataSourceOf(m_connectionString));
    {
        const std::lock_guard<std::mutex> lock(m_interruptGuard);
        m_engine = std::move(engine);
    }
    // The event loop of this thread tells when the program waits for the
    // user. Connected once; a program without one never waits.
    if (!m_idleWatched) {
        if (QAbstractEventDispatcher *events = QAbstractEventDispatcher::instance(thread())) {
            connect(events, &QAbstractEventDispatcher::aboutToBlock, this, &AdoConnection::idle);
            m_idleWatched = true;
        }
    }
    Q_EMIT opened();
}

void AdoConnection::Close()
{
    if (!connected())
        return;
    Q_EMIT aboutToClose();
    std::unique_ptr<DatabaseEngine> engine;
    {
        const std::lock_guard<std::mutex> lock(m_interruptGuard);
        engine = std::move(m_engine);
    }
}

void AdoConnection::interrupt()
{
    const std::lock_guard<std::mutex> lock(m_interruptGuard);
    if (m_engine)
        m_engine->interrupt();
}

void AdoConnection::runControl(const QString &statement)
{
    ensureOpen();
    announceStatement(this);
    m_engine->runControl(statement);
}

void AdoConnection::beginWriting()
{
    ensureOpen();
    announceStatement(this);
    m_engine->beginWriting();
}

} // namespace rux
