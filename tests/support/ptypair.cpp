#include "tests/support/ptypair.h"

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

PtyPair::PtyPair()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    // The program opens the slave by path; the test keeps no slave handle,
    // and no program the test starts inherits the master, so closing the
    // master hangs the line up.
    ::close(slave);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    m_path = QString::fromLocal8Bit(name);
}

void PtyPair::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            throw std::runtime_error("writing to the pty failed");
        done += count;
    }
}

void PtyPair::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
