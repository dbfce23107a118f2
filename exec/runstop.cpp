#include "exec/runstop.h"

namespace rux {

QString stoppedAtLineText(int line)
{
    return QStringLiteral("Stopped by the user at line %1").arg(line);
}

QString stoppedInSubstitutionText()
{
    return QStringLiteral("Stopped by the user while the parameters were written into the script");
}

QString stoppedBeforeCommitText()
{
    return QStringLiteral("Stopped by the user before the run's transaction was committed; nothing was kept");
}

bool currentFailureIsStop()
{
    try {
        throw;
    } catch (const RunStopped &) {
        return true;
    } catch (...) {
        return false;
    }
}

void RunStop::request()
{
    m_requested = true;
    if (m_interrupt)
        m_interrupt();
}

} // namespace rux
