#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

struct ei;
struct ei_device;
struct ei_ping;

// A keyboard on a connection to the compositor's EIS server, spoken to
// through libei: the desktop portal hands out such a connection for a
// started session (RemoteDesktopPortal::connectToEis). The server takes keys
// in the order they are sent and answers none of them, so they go without
// waiting; sync() asks for a ping's answer when the caller needs to know
// that the compositor has handled them.
//
// Keys are evdev codes, as on the seat's keymap: the compositor applies the
// keymap and layout it uses for every keyboard, which SeatKeymap reads (the
// keymap a device announces stays the one of its creation).
//
// Failures throw OperationError: TypingUnavailable when the server gives no
// keyboard, TypingFailed when the connection or the keyboard is lost.
class EisKeyboard
{
public:
    // Takes fd over and waits until the server has given a keyboard that
    // may send keys.
    explicit EisKeyboard(int fd);
    ~EisKeyboard();
    EisKeyboard(const EisKeyboard &) = delete;
    EisKeyboard &operator=(const EisKeyboard &) = delete;

    // An evdev key code (without the X11 offset of 8) pressed or released.
    void key(uint32_t evdevCode, bool pressed);
    // Waits until the compositor has handled every key sent so far.
    void sync();

private:
    enum class State { Waiting, Emulating, Paused, Lost };
    struct Unref
    {
        void operator()(ei *context) const;
        void operator()(ei_device *device) const;
        void operator()(struct ei_ping *ping) const;
    };

    void takeEvents();
    // Takes events until done() holds; throws TypingFailed when the
    // connection is lost, and error `number` saying `what` when timeout
    // passes first.
    void waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout, int number, const QString &what);
    [[noreturn]] static void fail(int number, const QString &what);

    std::unique_ptr<ei, Unref> m_ei;
    std::unique_ptr<ei_device, Unref> m_device;
    State m_state = State::Waiting;
    uint32_t m_sequence = 0;
    // The ping sent last, until its answer comes.
    std::unique_ptr<struct ei_ping, Unref> m_ping;
};
