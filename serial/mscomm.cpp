#include "serial/mscomm.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "serial/openfailure.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr int ReopenIntervalMs = 500;
constexpr short HighestPort = 255;

} // namespace

MSComm::MSComm(QObject *parent)
    : QObject(parent)
{
    m_resolver = [](int) { return QString(); };
    m_reopenTimer.setInterval(ReopenIntervalMs);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::OnComm);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onSerialError);
    connect(&m_reopenTimer, &QTimer::timeout, this, &MSComm::tryReopen);
}

MSComm::~MSComm()
{
    closeDevice();
}

void MSComm::setDeviceResolver(DeviceResolver resolver)
{
    m_resolver = std::move(resolver);
}

QString MSComm::deviceName() const
{
    return m_open ? m_device : m_resolver(m_commPort);
}

QString MSComm::portLabel(const QString &device) const
{
    return QStringLiteral("Com%1 (%2)").arg(m_commPort).arg(device);
}

void MSComm::setCommPort(short port)
{
    if (m_open) {
        throw OperationError(
            OperationError::PortAlreadyOpen,
            QStringLiteral("%1: the port number cannot be changed while the port is open").arg(portLabel(m_device)));
    }
    if (port < 1 || port > HighestPort) {
        throw OperationError(OperationError::InvalidPropertyValue,
                             QStringLiteral("Invalid port number %1: use 1 to %2").arg(port).arg(HighestPort));
    }
    m_commPort = port;
}

void MSComm::setSettings(const QString &settings)
{
    const LineConfig config = LineConfig::parse(settings);
    if (m_open && !m_waitingForDevice)
        applyLine(m_device, config, m_flow);
    m_config = config;
    m_decoder.setParityMarking(m_config.parity != Parity::None);
}

void MSComm::setHandshaking(int code)
{
    const FlowControl flow = flowControlFromCode(code);
    if (m_open && !m_waitingForDevice)
        applyLine(m_device, m_config, flow);
    m_flow = flow;
}

void MSComm::applyLine(const QString &device, const LineConfig &config, FlowControl flow)
{
    try {
        TermiosLine::apply(int(m_port.handle()), config, flow);
    } catch (const OperationError &error) {
        throw OperationError(error.number(), portLabel(device) + QStringLiteral(": ") + error.description());
    }
}

void MSComm::setPortOpen(bool open)
{
    if (open == m_open) {
        if (open) {
            throw OperationError(OperationError::PortAlreadyOpen,
                                 QStringLiteral("%1: the port is already open").arg(portLabel(m_device)));
        }
        return;
    }
    if (!open) {
        closeDevice();
        m_open = false;
        m_carried.clear();
        m_decoder.reset();
        return;
    }
    const QString device = m_resolver(m_commPort);
    if (device.isEmpty())
        throw OperationError(OperationError::InvalidPropertyValue,
                             QStringLiteral("Com%1: no device is set for this port").arg(m_commPort));
    openDevice(device);
    m_device = device;
    m_open = true;
}

void MSComm::openDevice(const QString &device)
{
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadOnly))
        OpenFailure::raise(portLabel(device), device, m_port.error() == QSerialPort::PermissionError,
                           m_port.errorString());

    const int fd = int(m_port.handle());
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int errorNumber = errno;
        m_port.close();
        if (errorNumber == EWOULDBLOCK)
            throw OperationError(EBUSY, QStringLiteral("%1: %2").arg(portLabel(device), OpenFailure::busyReason()));
        throw OperationError(errorNumber, QStringLiteral("%1: cannot lock the device: %2")
                                              .arg(portLabel(device), OperationError::systemReason(errorNumber)));
    }
    try {
        applyLine(device, m_config, m_flow);
    } catch (const OperationError &) {
        m_port.close();
        throw;
    }
    m_hangUpWatch = std::make_unique<HangUpWatch>(fd);
    connect(m_hangUpWatch.get(), &HangUpWatch::hungUp, this, &MSComm::deviceLostLater);
    ++m_openings;
}

void MSComm::closeDevice()
{
    m_reopenTimer.stop();
    m_waitingForDevice = false;
    m_lastReopenFailure.clear();
    m_hangUpWatch.reset();
    if (m_port.isOpen())
        m_port.close();
}

QByteArray MSComm::drainKernel()
{
    QByteArray bytes;
    const int fd = int(m_port.handle());
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            bytes.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // 0 is a hang-up; other errors mean the device is no longer usable.
        // Handled once this read is over, so that nothing is torn down under
        // a caller that is still running.
        deviceLostLater();
        break;
    }
    return bytes;
}

QString MSComm::Input()
{
    if (!m_open) {
        throw OperationError(OperationError::PortNotOpen,
                             QStringLiteral("%1: the port is not open").arg(portLabel(deviceName())));
    }
    QByteArray bytes = std::exchange(m_carried, QByteArray());
    if (m_port.isOpen()) {
        bytes += m_port.readAll();
        bytes += drainKernel();
    }
    return m_decoder.decode(bytes);
}

TermiosLine::State MSComm::lineState() const
{
    if (!m_port.isOpen()) {
        throw OperationError(OperationError::PortNotOpen,
                             QStringLiteral("%1: the port is not open").arg(portLabel(deviceName())));
    }
    return TermiosLine::read(int(m_port.handle()));
}

void MSComm::onSerialError(QSerialPort::SerialPortError error)
{
    // Up to Qt 6.4 QSerialPort reports a hang-up (read gives 0) as a read
    // error with a stale reason, and then again each time its notifier fires
    // (later versions say nothing: HangUpWatch notices it); a device that
    // vanished gives a resource error. Either way the device is no longer
    // usable: stop reading it.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        m_port.clearError();
        // Not here, inside QSerialPort's own notification: once it returns.
        deviceLostLater();
    }
}

void MSComm::deviceLostLater()
{
    // QSerialPort repeats its error until the device is closed: the reports
    // about one opening must not close the next one.
    const int opening = m_openings;
    QMetaObject::invokeMethod(
        this,
        [this, opening] {
            if (opening == m_openings)
                deviceLost();
        },
        Qt::QueuedConnection);
}

void MSComm::deviceLost()
{
    if (!m_open || m_waitingForDevice)
        return;
    // Set first: closing a device that is gone raises errors of its own.
    m_waitingForDevice = true;
    m_lastReopenFailure.clear();
    // Keep what was received before the line went, for the next Input.
    if (m_port.isOpen())
        m_carried += m_port.readAll();
    m_hangUpWatch.reset();
    m_port.close();
    // A pseudo-terminal's number is handed to the next program that asks for
    // one, such as a terminal window: reopening it could read someone else's
    // keyboard input. Only real devices (and links to anything) come back.
    if (m_device.startsWith(QLatin1String("/dev/pts/"))) {
        Report::line(QStringLiteral("%1: the device has gone away; a pseudo-terminal does not come back, "
                                    "so it is not reopened")
                         .arg(portLabel(m_device)));
        return;
    }
    Report::line(QStringLiteral("%1: the device has gone away; waiting for it to come back").arg(portLabel(m_device)));
    m_reopenTimer.start();
}

void MSComm::tryReopen()
{
    if (!QFileInfo::exists(m_device))
        return; // still unplugged: nothing new to say
    try {
        openDevice(m_device);
    } catch (const OperationError &error) {
        if (error.description() != m_lastReopenFailure) {
            m_lastReopenFailure = error.description();
            Report::line(QStringLiteral("%1; trying again").arg(error.description()));
        }
        return;
    }
    m_reopenTimer.stop();
    m_waitingForDevice = false;
    m_lastReopenFailure.clear();
    Report::line(QStringLiteral("%1: the device is back; receiving again").arg(portLabel(m_device)));
}
