#pragma once

#include "serial/lineconfig.h"

#include <cstdint>

// Puts a line configuration and flow control on an open terminal device,
// through the kernel's termios2 interface so that any speed can be asked for.
namespace TermiosLine {

// The parts of the device's termios that the component sets, as the kernel
// reports them.
struct State
{
    std::uint32_t cflag = 0;
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t lflag = 0;
    std::uint32_t inputSpeed = 0;
    std::uint32_t outputSpeed = 0;
};

// Sets raw input, speed, data bits, every parity flag (PARENB, PARODD and
// CMSPAR explicitly, so that leaving mark or space parity clears CMSPAR), stop
// bits and flow control. When the driver does not take the speed, the previous
// configuration is put back. Throws OperationError with the reason.
void apply(int fd, const LineConfig &config, FlowControl flow);

// The flags and speeds that apply() asks the kernel for, starting from the
// device's current ones. (A pty keeps some of them to itself: it always
// reports 8 data bits and no PARENB.)
State configured(State current, const LineConfig &config, FlowControl flow);

State read(int fd);

} // namespace TermiosLine
