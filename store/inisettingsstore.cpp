#include "store/inisettingsstore.h"

#include "core/operationerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "[Name]" gives Name; anything else gives a null array.
QByteArray sectionName(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.size() >= 2 && text.startsWith('[') && text.endsWith(']'))
        return text.mid(1, text.size() - 2).trimmed();
    return QByteArray();
}

bool isComment(const QByteArray &text)
{
    return text.startsWith(';') || text.startsWith('#');
}

// Splits "key = value" at its first '='. Returns false for lines without one.
bool splitEntry(const QByteArray &line, QByteArray *key, QByteArray *value)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty() || isComment(text) || text.startsWith('['))
        return false;
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return false;
    *key = text.left(equals).trimmed();
    *value = text.mid(equals + 1);
    return true;
}

// Section and key names compare without regard to case, as a person editing
// the file would expect.
bool sameName(const QString &stored, const QString &wanted)
{
    return stored.compare(wanted, Qt::CaseInsensitive) == 0;
}

bool needsQuotes(const QString &value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace() || value.front() == QLatin1Char('"'))
        return true;
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

void checkName(const QString &what, const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\n'))
        || name.contains(QLatin1Char('[')) || name.contains(QLatin1Char(']')) || name.contains(QLatin1Char('='))
        || name == QLatin1String(".") || name == QLatin1String("..")) {
        throw OperationError(OperationError::SettingsStoreFailure,
                             QStringLiteral("Settings store: invalid %1 %2").arg(what, OperationError::quoted(name)));
    }
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : m_directory(defaultDirectory())
{}

IniSettingsStore::IniSettingsStore(const QString &directory)
    : m_directory(directory)
{}

QString IniSettingsStore::defaultDirectory()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString IniSettingsStore::filePath(const QString &appName) const
{
    return m_directory + QLatin1Char('/') + appName + QStringLiteral(".conf");
}

QByteArray IniSettingsStore::encodeValue(const QString &value)
{
    if (!needsQuotes(value))
        return value.toUtf8();
    QByteArray out = "\"";
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if ((c >= 0 && c < 0x20) || c == 0x7f)
                out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    out += '"';
    return out;
}

QString IniSettingsStore::decodeValue(const QByteArray &rawValue)
{
    const QByteArray text = rawValue.trimmed();
    if (text.size() < 2 || !text.startsWith('"') || !text.endsWith('"'))
        return QString::fromUtf8(text);
    QByteArray out;
    const QByteArray body = text.mid(1, text.size() - 2);
    for (int i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\\' || i + 1 == body.size()) {
            out += c;
            continue;
        }
        const char next = body[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            bool ok = false;
            const int code = body.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < body.size()) {
                out += char(code);
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        }
        default:
            out += next; // \" and \\ and anything unknown
        }
    }
    return QString::fromUtf8(out);
}

QList<QByteArray> IniSettingsStore::readLines(const QString &path) const
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int errorNumber = errno;
        // No file, or no folder for it: nothing is stored yet.
        if (errorNumber == ENOENT || errorNumber == ENOTDIR)
            return {};
        throw OperationError(errorNumber, QStringLiteral("Settings file %1: cannot be read: %2")
                                              .arg(path, OperationError::systemReason(errorNumber)));
    }
    QFile file;
    struct stat status
    {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        const int errorNumber = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw OperationError(errorNumber, QStringLiteral("Settings file %1: cannot be read: %2")
                                              .arg(path, OperationError::systemReason(errorNumber)));
    }
    QList<QByteArray> lines = file.readAll().split('\n');
    if (file.error() != QFileDevice::NoError) {
        throw OperationError(EIO, QStringLiteral("Settings file %1: cannot be read: %2").arg(path, file.errorString()));
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

QString IniSettingsStore::value(const QString &appName, const QString &section, const QString &key,
                                const QString &defaultValue) const
{
    for (const auto &[entryKey, entryValue] : entries(appName, section)) {
        if (sameName(entryKey, key))
            return entryValue;
    }
    return defaultValue;
}

QList<std::pair<QString, QString>> IniSettingsStore::entries(const QString &appName, const QString &section) const
{
    checkName(QStringLiteral("application name"), appName);
    QList<std::pair<QString, QString>> found;
    bool inSection = false;
    for (const QByteArray &line : readLines(filePath(appName))) {
        const QByteArray name = sectionName(line);
        if (!name.isNull()) {
            inSection = sameName(QString::fromUtf8(name), section);
            continue;
        }
        QByteArray entryKey, rawValue;
        if (inSection && splitEntry(line, &entryKey, &rawValue))
            found.append({QString::fromUtf8(entryKey), decodeValue(rawValue)});
    }
    return found;
}

void IniSettingsStore::save(const QString &appName, const QString &section, const QString &key, const QString &value)
{
    checkName(QStringLiteral("application name"), appName);
    checkName(QStringLiteral("section"), section);
    checkName(QStringLiteral("key"), key);
    const QString path = filePath(appName);
    QList<QByteArray> lines = readLines(path);

    const QByteArray newLine = key.toUtf8() + '=' + encodeValue(value);
    int sectionStart = -1; // line of the section's header
    int sectionEnd = -1;   // one past its last entry line
    int entryLine = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray name = sectionName(lines[i]);
        if (!name.isNull()) {
            if (sectionStart >= 0 && sectionEnd < 0)
                sectionEnd = i;
            if (sectionStart < 0 && sameName(QString::fromUtf8(name), section))
                sectionStart = i;
            continue;
        }
        QByteArray entryKey, rawValue;
        if (sectionStart >= 0 && sectionEnd < 0 && entryLine < 0 && splitEntry(lines[i], &entryKey, &rawValue)
            && sameName(QString::fromUtf8(entryKey), key)) {
            entryLine = i;
        }
    }
    if (entryLine >= 0) {
        lines[entryLine] = newLine;
    } else if (sectionStart >= 0) {
        qsizetype insertAt = sectionEnd < 0 ? lines.size() : sectionEnd;
        while (insertAt > sectionStart + 1 && lines[insertAt - 1].trimmed().isEmpty())
            --insertAt; // keep the blank line that separates sections
        lines.insert(insertAt, newLine);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append('[' + section.toUtf8() + ']');
        lines.append(newLine);
    }

    QDir directory(m_directory);
    if (!directory.exists() && !QDir().mkpath(m_directory)) {
        const QFileInfo info(m_directory);
        const QString reason =
            info.exists() ? OperationError::systemReason(ENOTDIR) : QStringLiteral("cannot create the folder");
        throw OperationError(OperationError::SettingsStoreFailure,
                             QStringLiteral("Settings file %1: %2: %3").arg(path, m_directory, reason));
    }

    QSaveFile file(path);
    QByteArray contents = lines.join('\n');
    contents += '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit()) {
        throw OperationError(OperationError::SettingsStoreFailure,
                             QStringLiteral("Settings file %1: cannot be saved: %2").arg(path, file.errorString()));
    }
}
