#include "db/databasefile.h"

#include "base/failure.h"

#include <QFile>
#include <QFileInfo>

namespace rux {

QByteArray readDatabaseHead(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists())
        throw Failure(QStringLiteral("Could not find file '%1'.").arg(fileName));
    if (info.isDir())
        throw Failure(QStringLiteral("'%1' is a folder, not a database file.").arg(fileName));
    // Opening a pipe would wait for a program to write it.
    if (!info.isFile())
        throw Failure(QStringLiteral("'%1' is a pipe, a device or a socket, not a database file.").arg(fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure(QStringLiteral("Could not open file '%1': %2.")
                          .arg(fileName, file.errorString()));
    }
    return file.read(kDatabaseHeadSize);
}

QString unrecognizedFormatText(const QString &fileName)
{
    return QStringLiteral("Unrecognized database format '%1'.").arg(fileName);
}

QString cannotWriteText(const QString &fileName, const QString &why)
{
    return QStringLiteral("Could not write '%1': %2").arg(fileName, why);
}

bool isSqliteHead(const QByteArray &head)
{
    return head.startsWith(QByteArray("SQLite format 3\0", 16));
}

bool isAccessHead(const QByteArray &head)
{
    if (head.size() < kDatabaseHeadSize)
        return false;
    const QByteArray kind = head.mid(4, 15);
    return kind == QByteArrayLiteral("Standard Jet DB") || kind == QByteArrayLiteral("Standard ACE DB");
}

} // namespace rux
