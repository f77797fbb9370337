#pragma once

#include <QString>

#include <cstdint>

// A serial line's configuration as the serial component understands it.
enum class Parity { None, Even, Odd, Mark, Space };

enum class FlowControl : int { None = 0, XonXoff = 1, RtsCts = 2, XonXoffAndRtsCts = 3 };

struct LineConfig
{
    std::uint32_t speed = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1; // 1 or 2; 1.5 is refused on this platform

    bool operator==(const LineConfig &other) const;

    // Reads "speed,parity,databits,stopbits": decimal speed, parity e o n m s in
    // either case, data bits 4 to 8, stop bits 1, 1.5 or 2. Throws
    // OperationError for anything else, and for what Linux serial drivers cannot
    // do (4 data bits, 1.5 stop bits).
    static LineConfig parse(const QString &settings);

    // The canonical form, lower-case parity letter: "9600,n,8,1".
    QString toString() const;
};

// The letter that stands for parity in a line settings string, lower case.
QChar parityLetter(Parity parity);

// Converts a flow-control code 0 to 3; throws OperationError for others.
FlowControl flowControlFromCode(int code);
