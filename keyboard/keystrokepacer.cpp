#include "keyboard/keystrokepacer.h"

#include <algorithm>
#include <thread>

KeystrokePacer::Pace KeystrokePacer::paceFor(Compositor compositor, const Version &version, Pace otherwise)
{
    if (!version)
        return otherwise;
    switch (compositor) {
    case Compositor::Sway:
        return *version >= std::pair{1, 12} ? LargeBufferPace : otherwise;
    case Compositor::KWin:
        return *version >= std::pair{6, 7} ? KWinPace : otherwise;
    }
    return otherwise;
}

void KeystrokePacer::pace(double count, const std::function<void()> &flush)
{
    if (const std::optional<Clock::time_point> until = charge(count, Clock::now())) {
        flush();
        std::this_thread::sleep_until(*until);
    }
}

std::optional<KeystrokePacer::Clock::time_point> KeystrokePacer::charge(double count, Clock::time_point now)
{
    const double elapsed = std::chrono::duration<double>(now - m_last).count();
    m_allowance = std::min(m_pace.batch, m_allowance + elapsed * m_pace.rate) - count;
    m_last = now;
    if (m_allowance >= 0)
        return std::nullopt;
    // The debt is paid by waiting; the next call starts from after the wait.
    m_last = now
             + std::chrono::duration_cast<Clock::duration>(
                 std::chrono::duration<double>((m_pace.batch - m_allowance) / m_pace.rate));
    m_allowance = m_pace.batch;
    return m_last;
}
