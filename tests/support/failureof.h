#pragma once

// Test helper: the text of the failure an operation throws, or `noFailure`
// ("<no failure>" unless told) when it returns normally.

#include "base/failure.h"

#include <QString>

#include <functional>

namespace rux::test {

inline QString failureOf(const std::function<void()> &operation,
                         const QString &noFailure = QStringLiteral("<no failure>"))
{
    try {
        operation();
    } catch (const rux::Failure &failure) {
        return failure.text();
    }
    return noFailure;
}

} // namespace rux::test
