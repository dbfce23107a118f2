#include "exec/failuretext.h"

#include "base/failure.h"

#include <exception>

namespace rux {

namespace {

bool isFolderSeparator(QChar c)
{
    return c == u'/';
}

} // namespace

QString currentFailureText()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure.text();
    } catch (const std::exception &failure) {
        return QString::fromLocal8Bit(failure.what());
    } catch (...) {
        return QString();
    }
}

QString programTitle(const QString &programFilePath)
{
    qsizetype start = programFilePath.size();
    while (start > 0 && !isFolderSeparator(programFilePath[start - 1]))
        --start;
    QString name = programFilePath.mid(start);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() <= 1)
        return name;
    return name.left(1) + name.mid(1).toLower();
}

QString failureDisplayText(const QString &failureText)
{
    if (!failureText.isEmpty() && failureText.back().unicode() > u'.')
        return failureText + u'.';
    return failureText;
}

} // namespace rux
