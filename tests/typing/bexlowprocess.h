#pragma once

#include "tempconfig.h"

#include <QProcess>
#include <QString>

// The real bexlow program, started as a user would (bexlow 1,9600,n,8,1) in
// a temporary settings folder that maps Com1 to a pty.
class BexlowProcess
{
public:
    explicit BexlowProcess(const QString &ptyPath);
    ~BexlowProcess();
    BexlowProcess(const BexlowProcess &) = delete;
    BexlowProcess &operator=(const BexlowProcess &) = delete;

    // Starts bexlow and waits until it has opened the pty and shown its
    // window. Throws when it does not.
    void start();

    // Sends a signal and waits for the program to end; false if it did not.
    bool stop(int signal);

    qint64 pid() const { return m_process.processId(); }
    QByteArray errorOutput();

private:
    bool hasPortOpen() const;

    TempConfig m_config;
    QString m_ptyPath;
    QProcess m_process;
    QByteArray m_errors;
};
