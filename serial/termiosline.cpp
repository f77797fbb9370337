#include "serial/termiosline.h"

#include "core/operationerror.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

[[noreturn]] void throwSystemError(const char *what)
{
    const int errorNumber = errno;
    throw OperationError(errorNumber,
                         QStringLiteral("%1: %2").arg(QLatin1String(what), OperationError::systemReason(errorNumber)));
}

termios2 get(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        throwSystemError("cannot read the line configuration");
    return tio;
}

void set(int fd, const termios2 &tio)
{
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        throwSystemError("cannot set the line configuration");
}

std::uint32_t characterSize(int dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// Parity errors are marked by the kernel (\377 \0 c) so that the received
// text can show them; breaks are ignored.
void setParity(TermiosLine::State &state, Parity parity)
{
    state.cflag &= ~(PARENB | PARODD | CMSPAR);
    state.iflag &= ~(INPCK | PARMRK | IGNPAR);
    switch (parity) {
    case Parity::None:
        return;
    case Parity::Even:
        state.cflag |= PARENB;
        break;
    case Parity::Odd:
        state.cflag |= PARENB | PARODD;
        break;
    case Parity::Mark:
        state.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        state.cflag |= PARENB | CMSPAR;
        break;
    }
    state.iflag |= INPCK | PARMRK;
}

void setFlowControl(TermiosLine::State &state, FlowControl flow)
{
    state.cflag &= ~CRTSCTS;
    state.iflag &= ~(IXON | IXOFF | IXANY);
    if (flow == FlowControl::RtsCts || flow == FlowControl::XonXoffAndRtsCts)
        state.cflag |= CRTSCTS;
    if (flow == FlowControl::XonXoff || flow == FlowControl::XonXoffAndRtsCts)
        state.iflag |= IXON | IXOFF;
}

TermiosLine::State stateOf(const termios2 &tio)
{
    TermiosLine::State state;
    state.cflag = tio.c_cflag;
    state.iflag = tio.c_iflag;
    state.oflag = tio.c_oflag;
    state.lflag = tio.c_lflag;
    state.inputSpeed = tio.c_ispeed;
    state.outputSpeed = tio.c_ospeed;
    return state;
}

} // namespace

namespace TermiosLine {

State configured(State state, const LineConfig &config, FlowControl flow)
{
    // Raw: every byte as it comes, nothing translated, no echo, no signals.
    state.iflag &= ~(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IUCLC | IMAXBEL);
    state.iflag |= IGNBRK;
    state.oflag &= ~OPOST;
    state.lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    state.cflag |= CREAD | CLOCAL;

    state.cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    state.cflag |= BOTHER | (BOTHER << IBSHIFT);
    state.inputSpeed = config.speed;
    state.outputSpeed = config.speed;

    state.cflag &= ~(CSIZE | CSTOPB);
    state.cflag |= characterSize(config.dataBits);
    if (config.stopBits == 2)
        state.cflag |= CSTOPB;
    setParity(state, config.parity);
    setFlowControl(state, flow);
    return state;
}

void apply(int fd, const LineConfig &config, FlowControl flow)
{
    const termios2 previous = get(fd);
    const State wanted = configured(stateOf(previous), config, flow);
    termios2 tio = previous;
    tio.c_cflag = wanted.cflag;
    tio.c_iflag = wanted.iflag;
    tio.c_oflag = wanted.oflag;
    tio.c_lflag = wanted.lflag;
    tio.c_ispeed = wanted.inputSpeed;
    tio.c_ospeed = wanted.outputSpeed;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    set(fd, tio);

    // A driver that cannot do the speed sets another one; UARTs tolerate about
    // 3 % between the two ends.
    const termios2 now = get(fd);
    const double deviation = std::fabs(double(now.c_ospeed) - double(config.speed)) / double(config.speed);
    if (deviation > 0.03) {
        const std::uint32_t given = now.c_ospeed;
        set(fd, previous);
        throw OperationError(
            OperationError::InvalidPropertyValue,
            QStringLiteral("the driver does not support speed %1 (it offered %2)").arg(config.speed).arg(given));
    }
}

State read(int fd)
{
    return stateOf(get(fd));
}

} // namespace TermiosLine
