#pragma once

#include <QProcess>
#include <QStringList>

#include <csignal>

// The real bexlow program, started as a user starts it: the one way the tests
// start it. It inherits the test's environment, XDG_CONFIG_HOME from a
// TempConfig included. Ended by SIGTERM when it goes, so that it releases
// its port's lock file.
class BexlowProcess
{
public:
    ~BexlowProcess() { stop(SIGTERM); }

    void start(const QStringList &arguments);
    // Waits until it has the device open or has ended; true if it has it open.
    bool waitForOpen(const QString &device, int timeoutMs = 20000);
    // Waits until it has ended; false if it still runs.
    bool waitForEnd(int timeoutMs = 10000) { return m_process.waitForFinished(timeoutMs) || !running(); }
    // Sends a signal and waits for the end; false if it did not end in time
    // (it is killed then).
    bool stop(int signal);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    // The exit status; -1 after a crash.
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    // Everything it wrote to stderr so far.
    QByteArray errorOutput() { return m_errors += m_process.readAllStandardError(); }

private:
    QProcess m_process;
    QByteArray m_errors;
};
