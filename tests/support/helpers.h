#pragma once

// Small things many tests need: files, characters, processes.
#include <QFile>
#include <QProcess>
#include <QString>

#include <csignal>
#include <stdexcept>

// A file's whole content, or nothing when it cannot be read (yet): the
// receivers report through files that appear once they are ready.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces a file's whole content; throws when it cannot.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

// The characters first..last.
inline QString range(char32_t first, char32_t last)
{
    QString text;
    for (char32_t c = first; c <= last; ++c)
        text += QString::fromUcs4(&c, 1);
    return text;
}

// Sends the signal and waits for the end; false if the process did not end
// within 15 s (it is killed then).
inline bool stopProcess(QProcess &process, int signal = SIGTERM)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(process.processId()), signal);
    if (process.waitForFinished(15000))
        return true;
    process.kill();
    process.waitForFinished(5000);
    return false;
}
