#include "receiverwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <stdexcept>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ReceiverWindow::ReceiverWindow(Kind kind)
{
    m_file = m_dir.filePath(QStringLiteral("received"));
    const QString idFile = m_dir.filePath(QStringLiteral("window-id"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    if (kind == Kind::Xterm) {
        QFile(m_file).open(QIODevice::WriteOnly);
        const QString script = QStringLiteral("echo $WINDOWID > '%1'; stty raw -echo; exec cat >> '%2'").arg(idFile, m_file);
        m_process.start(QStringLiteral("xterm"), {QStringLiteral("-u8"), QStringLiteral("-geometry"),
                                                  QStringLiteral("80x24+0+0"), QStringLiteral("-e"),
                                                  QStringLiteral("sh"), QStringLiteral("-c"), script});
    } else {
        m_process.start(QStringLiteral(BEXLOW_QT_RECEIVER), {m_file, idFile});
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000 && m_window == 0) {
        if (m_process.state() == QProcess::NotRunning)
            throw std::runtime_error("the receiver window ended at start");
        m_window = readFile(idFile).trimmed().toULong();
        QThread::msleep(20);
    }
    if (m_window == 0)
        throw std::runtime_error("the receiver window did not appear");
}

ReceiverWindow::~ReceiverWindow()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray ReceiverWindow::text() const
{
    return readFile(m_file);
}

void ReceiverWindow::waitForLength(qsizetype mark, qsizetype length, int timeoutMs) const
{
    constexpr int QuietMs = 300;
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer quiet;
    quiet.start();
    qsizetype last = -1;
    while (timer.elapsed() < timeoutMs) {
        const qsizetype now = size() - mark;
        if (now != last) {
            last = now;
            quiet.restart();
        }
        if (now >= length && quiet.elapsed() >= QuietMs)
            return;
        QThread::msleep(10);
    }
}
