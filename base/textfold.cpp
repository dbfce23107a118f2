#include "base/textfold.h"

namespace rux {

QString asciiLower(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        d[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
    }
    return out;
}

QString asciiUpper(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        d[i] = QChar(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    }
    return out;
}

} // namespace rux
