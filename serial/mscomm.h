#pragma once

#include "serial/hangupwatch.h"
#include "serial/lineconfig.h"
#include "serial/receiveddecoder.h"
#include "serial/termiosline.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

// The serial port component: one serial port, receive only.
//
// A port number (1 to 255) names a device through the device resolver that
// the owner sets (the store's port map). The device is opened read-only with
// exclusive access: TIOCEXCL, the usual lock file, and an flock on the device
// itself, which also holds against root and against another path to the same
// device. Failures throw OperationError with a number and a description that
// names the port and the device.
//
// When an open device disappears (an adapter pulled out), the port stays open
// in name: one line goes to stderr, the device path is tried again every
// 500 ms, and once it is back it is reopened with the same line settings and
// flow control, with one more line on stderr.
class MSComm : public QObject
{
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;

    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    void setDeviceResolver(DeviceResolver resolver);

    // 1 for the first port. Refused while the port is open.
    short CommPort() const { return m_commPort; }
    void setCommPort(short port);

    // The line settings string; see LineConfig::parse for what is accepted.
    // On an open port a new value takes effect at once. Reads give the
    // canonical form with a lower-case parity letter.
    QString Settings() const { return m_config.toString(); }
    void setSettings(const QString &settings);

    bool PortOpen() const { return m_open; }
    void setPortOpen(bool open);

    // Flow control 0 to 3: none, Xon/Xoff, RTS/CTS, both.
    int Handshaking() const { return int(m_flow); }
    void setHandshaking(int code);

    // Everything received up to this call, also what is still in the kernel
    // because the event loop did not run, as text; the read removes it.
    // Throws when the port is closed.
    QString Input();

    // The device the current port number maps to.
    QString deviceName() const;
    // The device's termios as the kernel reports it; for diagnostics and tests.
    TermiosLine::State lineState() const;
    // True while an open port's device has gone away and is waited for.
    bool waitingForDevice() const { return m_waitingForDevice; }

signals:
    // Raised on the GUI thread when received data is waiting.
    void OnComm();

private:
    QString portLabel(const QString &device) const;
    void openDevice(const QString &device);
    // Puts the configuration on the open device; a failure names the port.
    void applyLine(const QString &device, const LineConfig &config, FlowControl flow);
    void closeDevice();
    QByteArray drainKernel();
    void onSerialError(QSerialPort::SerialPortError error);
    void deviceLostLater();
    void deviceLost();
    void tryReopen();

    QSerialPort m_port;
    std::unique_ptr<HangUpWatch> m_hangUpWatch; // while the device is open
    DeviceResolver m_resolver;
    ReceivedDecoder m_decoder;
    QTimer m_reopenTimer;
    QString m_device;     // the device opened, while the port is open
    QByteArray m_carried; // received before the device went away
    QString m_lastReopenFailure;
    LineConfig m_config;
    FlowControl m_flow = FlowControl::None;
    short m_commPort = 1;
    int m_openings = 0; // counts successful opens of the device
    bool m_open = false;
    bool m_waitingForDevice = false;
};
