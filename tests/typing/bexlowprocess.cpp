#include "bexlowprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <stdexcept>

BexlowProcess::BexlowProcess(const QString &ptyPath)
    : m_ptyPath(ptyPath)
{
    m_config.mapPort(1, ptyPath);
}

BexlowProcess::~BexlowProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        stop(SIGTERM);

}

void BexlowProcess::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_config.path());
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(BEXLOW_BINARY), {QStringLiteral("1,9600,n,8,1")});
    if (!m_process.waitForStarted(10000))
        throw std::runtime_error("bexlow did not start");

    QElapsedTimer timer;
    timer.start();
    while (!hasPortOpen()) {
        if (m_process.state() == QProcess::NotRunning || timer.elapsed() > 20000) {
            throw std::runtime_error("bexlow did not open the pty: " + errorOutput().toStdString());
        }
        QThread::msleep(20);
    }
    // Its main window is shown right after the port opens; let it settle
    // before the test moves the focus to the receiver.
    QThread::msleep(500);
}

bool BexlowProcess::stop(int signal)
{
    ::kill(pid_t(m_process.processId()), signal);
    const bool ended = m_process.waitForFinished(15000);
    if (!ended) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    return ended;
}

QByteArray BexlowProcess::errorOutput()
{
    m_errors += m_process.readAllStandardError();
    return m_errors;
}

bool BexlowProcess::hasPortOpen() const
{
    const QString pty = QFileInfo(m_ptyPath).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == pty)
            return true;
    }
    return false;
}
