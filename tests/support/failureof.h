#pragma once

// Test helper: the text of the failure an operation throws, or
// "<no failure>" when it returns normally.

#include "script/failure.h"

#include <QString>

#include <functional>

namespace rux::test {

inline QString failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const rux::Failure &failure) {
        return failure.text();
    }
    return QStringLiteral("<no failure>");
}

} // namespace rux::test
