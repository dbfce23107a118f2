#include "script/scriptfile.h"

#include "base/systemio.h"

#include "base/ansicodec.h"
#include "base/failure.h"
#include "script/linestore.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

[[noreturn]] void failOpen(const QString &fileName, int error)
{
    throw Failure(QStringLiteral("Datei %1 kann nicht geöffnet werden. %2")
                      .arg(QFileInfo(fileName).absoluteFilePath(), systemErrorText(error)));
}

[[noreturn]] void failCreate(const QString &path, int error)
{
    throw Failure(QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2")
                      .arg(path, systemErrorText(error)));
}

[[noreturn]] void failWrite()
{
    throw Failure(QStringLiteral("Stream-Schreibfehler"));
}

// All bytes of the file, read with the system calls so that the cause of a
// failure (errno) can be named. A folder opens but fails to read (EISDIR).
QByteArray readAllBytes(const QString &fileName)
{
    const QByteArray encoded = QFile::encodeName(fileName);
    int fd;
    do {
        fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        failOpen(fileName, errno);

    QByteArray bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(qsizetype(st.st_size));

    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            bytes.append(chunk, qsizetype(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            failOpen(fileName, error);
        }
    }
    ::close(fd);
    return bytes;
}

[[noreturn]] void failDecode(const QString &fileName, TextEncoding encoding)
{
    const char *what = encoding == TextEncoding::Utf8 ? "UTF-8" : "UTF-16";
    throw Failure(QStringLiteral("Datei %1 kann nicht gelesen werden: ungültiger %2-Text")
                      .arg(QFileInfo(fileName).absoluteFilePath(), QLatin1String(what)));
}

// False when the bytes are not valid UTF-8.
bool decodeUtf8(QByteArrayView bytes, QString &text)
{
    // Stateless, so that a sequence cut off at the end counts as an error;
    // a second mark right after the first one is text (U+FEFF).
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text = decoder.decode(bytes);
    return !decoder.hasError();
}

// UTF-16 code units as they stand: a lone surrogate stays a code unit of the
// text, as in any UTF-16 text. False for an odd number of bytes.
bool decodeUtf16(QByteArrayView bytes, bool littleEndian, QString &text)
{
    if (bytes.size() % 2 != 0)
        return false;
    text = QString(bytes.size() / 2, Qt::Uninitialized);
    QChar *d = text.data();
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < text.size(); ++i, s += 2)
        d[i] = QChar(littleEndian ? char16_t(s[0] | s[1] << 8) : char16_t(s[0] << 8 | s[1]));
    return true;
}

// Cuts the text at the first NUL and writes every CR LF, lone CR and lone LF
// as CR LF. A text that needs neither is returned as it is.
QString normaliseText(const QString &decoded)
{
    const qsizetype nul = decoded.indexOf(QChar(u'\0'));
    const qsizetype size = nul < 0 ? decoded.size() : nul;
    const char16_t *const s = reinterpret_cast<const char16_t *>(decoded.constData());

    qsizetype breaks = 0;
    bool clean = nul < 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (s[i] == u'\r') {
            ++breaks;
            if (i + 1 < size && s[i + 1] == u'\n')
                ++i;
            else
                clean = false;
        } else if (s[i] == u'\n') {
            ++breaks;
            clean = false;
        }
    }
    if (clean)
        return decoded;

    QString out(size + breaks, Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = s[i];
        if (c == u'\r' || c == u'\n') {
            *d++ = u'\r';
            *d++ = u'\n';
            if (c == u'\r' && i + 1 < size && s[i + 1] == u'\n')
                ++i;
        } else {
            *d++ = c;
        }
    }
    out.truncate(d - reinterpret_cast<char16_t *>(out.data()));
    return out;
}

} // namespace

QByteArray encodeScriptText(const QString &text, TextEncoding encoding)
{
    QByteArray out;
    switch (encoding) {
    case TextEncoding::Utf8:
        out = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool little = encoding == TextEncoding::Utf16LE;
        out.resize(2 + text.size() * 2);
        auto *d = reinterpret_cast<unsigned char *>(out.data());
        *d++ = little ? 0xFF : 0xFE;
        *d++ = little ? 0xFE : 0xFF;
        for (const QChar ch : text) {
            const char16_t c = ch.unicode();
            *d++ = static_cast<unsigned char>(little ? c & 0xFF : c >> 8);
            *d++ = static_cast<unsigned char>(little ? c >> 8 : c & 0xFF);
        }
        break;
    }
    case TextEncoding::None:
    case TextEncoding::Ansi:
        out = encodeAnsi(text);
        break;
    }
    return out;
}

UnstorableText findUnstorable(QStringView text, TextEncoding encoding)
{
    UnstorableText lost;
    if (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE)
        return lost;
    const bool ansi = encoding == TextEncoding::None || encoding == TextEncoding::Ansi;
    qsizetype line = 1;
    qsizetype column = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'\n') {
            ++line;
            column = 0;
            continue;
        }
        ++column;
        if (u < 0x80)
            continue;
        char32_t code = u;
        bool lone = false;
        if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
            code = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            lone = true;
        }
        if (!lone && (!ansi || ansiHolds(code)))
            continue;
        if (lost.count++ == 0) {
            lost.first = code;
            lost.line = line;
            lost.column = column;
        }
        lost.loneSurrogate = lost.loneSurrogate || lone;
    }
    return lost;
}

TextEncoding encodingThatHolds(const UnstorableText &lost)
{
    return lost.loneSurrogate ? TextEncoding::Utf16LE : TextEncoding::Utf8;
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::None:
    case TextEncoding::Ansi:
        return QStringLiteral("Windows-1252 (ANSI)");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    }
    return QString();
}

namespace {

// Refuses, with the system's reason, a target that cannot be replaced: a
// folder, a file this process may not write (checked here because renaming
// over a read-only file would succeed), or a folder that is missing or
// cannot take the temporary file.
void checkCreatable(const QString &path)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            failCreate(path, EISDIR);
        if (::access(target.constData(), W_OK) != 0)
            failCreate(path, errno);
    } else if (errno != ENOENT) {
        failCreate(path, errno);
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        failCreate(path, errno);
}

// A device or a pipe has no content to keep and must not be replaced by a
// regular file: it is written directly.
bool isSpecialFile(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)
        && !S_ISDIR(st.st_mode);
}

void writeSpecial(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failCreate(path, errno != 0 ? errno : EACCES);
    if (file.write(bytes) != bytes.size())
        failWrite();
    file.close();
    if (file.error() != QFileDevice::NoError)
        failWrite();
}

// The encoding a file's bytes name by their byte-order mark, and the mark's
// length: Ansi and 0 when they begin with none.
TextEncoding markOf(QByteArrayView bytes, qsizetype &markLength)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        markLength = 3;
        return TextEncoding::Utf8;
    }
    markLength = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ? 2 : 0;
    if (markLength == 0)
        return TextEncoding::Ansi;
    return bytes[0] == '\xFF' ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
}

// Whether the bytes are valid UTF-8, checked a piece at a time so that no
// decoded copy of the whole text is made. Pieces end after a LF, which no
// sequence spans, so each piece is checked as a whole.
bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    constexpr qsizetype kPiece = 64 * 1024;
    QString buffer;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.size();
        if (from + kPiece < end) {
            const void *lf = std::memchr(bytes.data() + from + kPiece, '\n', size_t(end - from - kPiece));
            if (lf)
                end = static_cast<const char *>(lf) - bytes.data() + 1;
        }
        if (buffer.size() < end - from)
            buffer.resize(end - from);
        decoder.appendToBuffer(buffer.data(), bytes.sliced(from, end - from));
        if (decoder.hasError())
            return false;
        from = end;
    }
    return true;
}

} // namespace

bool decodeScriptBytes(QByteArrayView bytes, ScriptFileText &result)
{
    qsizetype mark = 0;
    result = ScriptFileText{QString(), markOf(bytes, mark)};
    QString decoded;
    bool valid = true;
    switch (result.encoding) {
    case TextEncoding::Utf8:
        valid = decodeUtf8(bytes.sliced(mark), decoded);
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        valid = decodeUtf16(bytes.sliced(mark), result.encoding == TextEncoding::Utf16LE, decoded);
        break;
    default:
        decoded = decodeAnsi(bytes);
        break;
    }
    if (!valid)
        return false;
    result.text = normaliseText(decoded);
    return true;
}

bool decodeScriptLines(const QByteArray &bytes, ScriptFileLines &result)
{
    qsizetype mark = 0;
    result.encoding = markOf(bytes, mark);
    result.lines = LineStore();
    result.tooLong = false;
    if (result.encoding == TextEncoding::Utf16LE || result.encoding == TextEncoding::Utf16BE) {
        // No byte of UTF-16 text can be kept: it is decoded whole.
        ScriptFileText text;
        if (!decodeScriptBytes(bytes, text))
            return false;
        result.lines = LineStore::fromText(text.text);
        return true;
    }
    if (result.encoding == TextEncoding::Utf8 && !isValidUtf8(QByteArrayView(bytes).sliced(mark)))
        return false;
    // The text ends at its first NUL; the bytes are kept as they are
    // whenever they already are UTF-8.
    const void *nul = std::memchr(bytes.constData(), 0, size_t(bytes.size()));
    const qsizetype end = nul ? static_cast<const char *>(nul) - bytes.constData() : bytes.size();
    // Each character of the editor's text takes at most three bytes of
    // UTF-8 and each of ANSI one: more bytes than that make a text longer
    // than the editor takes, which is not split into lines at all.
    const qsizetype most = result.encoding == TextEncoding::Utf8 ? 3 * kMemoCapacity : kMemoCapacity;
    if (end - mark > most) {
        result.tooLong = true;
        return true;
    }
    const QByteArrayView text = QByteArrayView(bytes).first(end);
    const auto ascii = [](char c) { return (c & 0x80) == 0; };
    if (result.encoding == TextEncoding::Utf8 || std::all_of(text.begin(), text.end(), ascii))
        result.lines = LineStore::fromUtf8(bytes, mark, end);
    else
        result.lines = LineStore::fromUtf8(ansiToUtf8(text));
    return true;
}

ScriptFileText readScriptFile(const QString &fileName)
{
    const QByteArray bytes = readAllBytes(fileName);
    ScriptFileText result;
    if (!decodeScriptBytes(bytes, result))
        failDecode(fileName, result.encoding);
    return result;
}

ScriptFileLines readScriptLines(const QString &fileName)
{
    ScriptFileLines result;
    if (!decodeScriptLines(readAllBytes(fileName), result))
        failDecode(fileName, result.encoding);
    return result;
}

void writeScriptFile(const QString &fileName, const QString &text, TextEncoding encoding)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    const QByteArray bytes = encodeScriptText(text, encoding);

    if (isSpecialFile(path)) {
        writeSpecial(path, bytes);
        return;
    }

    checkCreatable(path);
    // QSaveFile creates a new file with 0666 less the umask, as open(2)
    // would, and gives a replaced file the permissions of the old one.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        failCreate(path, errno != 0 ? errno : EACCES);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        failWrite();
    }
    // commit() removes the temporary file when flushing, syncing or the
    // rename fails; the target is then untouched.
    if (!file.commit())
        failWrite();
}

} // namespace rux
