#pragma once

#include "tests/support/tempconfig.h"

#include <QProcess>

#include <csignal>

// The real bexlow program, started as a user would (bexlow 1,9600,n,8,1) in
// a temporary settings folder that maps Com1 to a pty.
class BexlowProcess
{
public:
    explicit BexlowProcess(const QString &ptyPath)
        : m_ptyPath(ptyPath)
    {
        m_config.mapPort(1, ptyPath);
    }
    ~BexlowProcess() { stop(SIGTERM); }

    // Starts (or starts again) bexlow and waits until it has opened the pty
    // and shown its window. Throws when it does not.
    void start();
    // Sends a signal and waits for the program to end; false if it did not.
    bool stop(int signal);
    TempConfig &config() { return m_config; }
    // Everything it wrote to stderr so far.
    QByteArray errorOutput() { return m_errors += m_process.readAllStandardError(); }

private:
    TempConfig m_config;
    QString m_ptyPath;
    QProcess m_process;
    QByteArray m_errors;
};
