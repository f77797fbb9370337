#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A window that receives typed text and records it in a file:
//  - Xterm: an xterm whose terminal is raw (stty raw -echo) and whose shell
//    appends every byte to the file, so the file holds exactly the bytes
//    the terminal sent for the keys (Return arrives as \r);
//  - QtText: the Qt plain text window (bexlow-qt-text-receiver), a receiver
//    on Qt's xkbcommon keyboard handling; the file is its text.
class ReceiverWindow
{
public:
    enum class Kind { Xterm, QtText };

    // Starts the window and waits until it is shown. Throws when it is not.
    explicit ReceiverWindow(Kind kind);
    ~ReceiverWindow()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    unsigned long window() const { return m_window; }
    QByteArray text() const;
    // Polls until at least `length` bytes arrived after the first `mark` and
    // nothing more came for a moment (so that extra characters are seen
    // too), or until the timeout: receivers on a loaded machine can be slow.
    void waitForLength(qsizetype mark, qsizetype length, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    unsigned long m_window = 0;
};
