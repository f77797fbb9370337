#include "serial/hangupwatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

HangUpWatch::HangUpWatch(int fd)
    : m_fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0))
{
    if (m_fd < 0)
        return; // out of descriptors: QSerialPort's own errors remain
    // Readable is all a notifier can wait for; a hung-up line is readable.
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HangUpWatch::check);
}

HangUpWatch::~HangUpWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void HangUpWatch::check()
{
    // Data alone is QSerialPort's to read; only a hang-up or an error is ours.
    pollfd state{m_fd, POLLIN, 0};
    if (::poll(&state, 1, 0) <= 0 || !(state.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return;
    m_notifier->setEnabled(false);
    emit hungUp();
}
