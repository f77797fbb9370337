#pragma once

#include <QObject>
#include <QSocketNotifier>

// Tells when an open terminal device hangs up: a USB adapter pulled out, or
// the other side of a pseudo-terminal closed. QSerialPort does not say so in
// every version: up to Qt 6.4 the end of file of a hung-up line comes as a
// read error, while later versions (6.8 among them) take it for "no data
// yet", report nothing and keep a line that stays readable forever.
//
// Watches a duplicate of the descriptor, which shares the open device and
// its lock: the watch must end before the device is closed, or the device
// stays open (and locked) through it.
class HangUpWatch : public QObject
{
    Q_OBJECT

public:
    explicit HangUpWatch(int fd);
    ~HangUpWatch() override;
    HangUpWatch(const HangUpWatch &) = delete;
    HangUpWatch &operator=(const HangUpWatch &) = delete;

signals:
    // Raised once, when the device has hung up or failed.
    void hungUp();

private:
    void check();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
