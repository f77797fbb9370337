#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial line: the program opens
// the slave device (path()), the test plays the device on the master side.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair() { hangUp(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    QString path() const { return m_path; }

    // Writes all bytes to the line (the device sending).
    void send(const QByteArray &bytes);
    // Closes the master side: the slave sees a hang-up.
    void hangUp();

private:
    int m_master = -1;
    QString m_path;
};
