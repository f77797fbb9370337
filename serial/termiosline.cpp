#include "termiosline.h"

#include "operationerror.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

[[noreturn]] void throwSystemError(const char *what)
{
    const int errorNumber = errno;
    throw OperationError(errorNumber, QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                                   QString::fromLocal8Bit(std::strerror(errorNumber))));
}

termios2 get(int fd)
{
    termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        throwSystemError("cannot read the line configuration");
    return tio;
}

void set(int fd, const termios2 &tio)
{
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        throwSystemError("cannot set the line configuration");
}

tcflag_t characterSize(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

// Parity errors are marked by the kernel (\377 \0 c) so that the received
// text can show them; breaks are ignored.
void setParity(termios2 &tio, Parity parity)
{
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    tio.c_iflag &= ~(INPCK | PARMRK | IGNPAR);
    switch (parity) {
    case Parity::None: return;
    case Parity::Even: tio.c_cflag |= PARENB; break;
    case Parity::Odd: tio.c_cflag |= PARENB | PARODD; break;
    case Parity::Mark: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    tio.c_iflag |= INPCK | PARMRK;
}

void setFlowControl(termios2 &tio, FlowControl flow)
{
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (flow == FlowControl::RtsCts || flow == FlowControl::XonXoffAndRtsCts)
        tio.c_cflag |= CRTSCTS;
    if (flow == FlowControl::XonXoff || flow == FlowControl::XonXoffAndRtsCts)
        tio.c_iflag |= IXON | IXOFF;
}

} // namespace

namespace TermiosLine {

void apply(int fd, const LineConfig &config, FlowControl flow)
{
    const termios2 previous = get(fd);
    termios2 tio = previous;

    // Raw: every byte as it comes, nothing translated, no echo, no signals.
    tio.c_iflag &= ~(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IUCLC | IMAXBEL);
    tio.c_iflag |= IGNBRK;
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = config.speed;
    tio.c_ospeed = config.speed;

    tio.c_cflag &= ~(CSIZE | CSTOPB);
    tio.c_cflag |= characterSize(config.dataBits);
    if (config.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    setParity(tio, config.parity);
    setFlowControl(tio, flow);

    set(fd, tio);

    // A driver that cannot do the speed sets another one; UARTs tolerate about
    // 3 % between the two ends.
    const termios2 now = get(fd);
    const double deviation = std::fabs(double(now.c_ospeed) - double(config.speed)) / double(config.speed);
    if (deviation > 0.03) {
        const std::uint32_t given = now.c_ospeed;
        set(fd, previous);
        throw OperationError(OperationError::InvalidPropertyValue,
                             QStringLiteral("the driver does not support speed %1 (it offered %2)")
                                 .arg(config.speed)
                                 .arg(given));
    }
}

State read(int fd)
{
    const termios2 tio = get(fd);
    State state;
    state.cflag = tio.c_cflag;
    state.iflag = tio.c_iflag;
    state.lflag = tio.c_lflag;
    state.inputSpeed = tio.c_ispeed;
    state.outputSpeed = tio.c_ospeed;
    return state;
}

} // namespace TermiosLine
