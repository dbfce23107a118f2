#include "db/access/removedonsignal.h"

#include <cstring>
#include <iterator>

#include <unistd.h>

namespace rux {

namespace {

// The file being built, for the signal handler: removed when a signal ends
// the process before the file is done with.
char g_removedOnSignal[4096];

extern "C" void removeFileAndDie(int signalNumber)
{
    if (g_removedOnSignal[0] != '\0')
        ::unlink(g_removedOnSignal);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
static_assert(std::size(kEndingSignals) == RemovedOnSignal::kSignals);

sigset_t endingSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signalNumber : kEndingSignals)
        sigaddset(&set, signalNumber);
    return set;
}

} // namespace

void RemovedOnSignal::holdSignals()
{
    const sigset_t set = endingSignalSet();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void RemovedOnSignal::releaseSignals()
{
    const sigset_t set = endingSignalSet();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

RemovedOnSignal::RemovedOnSignal(const QByteArray &path)
{
    if (size_t(path.size()) >= sizeof g_removedOnSignal)
        return;
    std::memcpy(g_removedOnSignal, path.constData(), size_t(path.size()) + 1);
    struct sigaction action = {};
    action.sa_handler = removeFileAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals; ++i)
        ::sigaction(kEndingSignals[i], &action, &m_before[i]);
    m_armed = true;
}

RemovedOnSignal::~RemovedOnSignal()
{
    if (!m_armed)
        return;
    for (size_t i = 0; i < kSignals; ++i)
        ::sigaction(kEndingSignals[i], &m_before[i], nullptr);
    g_removedOnSignal[0] = '\0';
}

} // namespace rux
