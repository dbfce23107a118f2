#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <utility>

namespace rux {

// A failure of an operation: the text the user is shown. Thrown where the
// operation failed and caught only by the failure display around an event
// handler, or by the runner for a protected batch.
class Failure : public std::exception
{
public:
    explicit Failure(QString text)
        : m_text(std::move(text)), m_utf8(m_text.toUtf8()) {}

    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

} // namespace rux
