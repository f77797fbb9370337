#include "keyboard/keystrokepacer.h"

#include <algorithm>
#include <thread>

KeystrokePacer::Pace KeystrokePacer::paceFor(const Compositor &compositor, Pace otherwise)
{
    switch (compositor.name) {
    case Compositor::Name::Sway:
        return compositor.version >= std::pair{1, 12} ? LargeBufferPace : otherwise;
    case Compositor::Name::KWin:
        return compositor.version >= std::pair{6, 7} ? KWinPace : otherwise;
    case Compositor::Name::Unknown:
        break;
    }
    return otherwise;
}

void KeystrokePacer::pace(double count, const std::function<void()> &flush)
{
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - m_last).count();
    m_allowance = std::min(m_pace.batch, m_allowance + elapsed * m_pace.rate) - count;
    m_last = now;
    if (m_allowance >= 0)
        return;
    // The debt is paid by waiting; the next call starts from after the wait.
    const auto wait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>((m_pace.batch - m_allowance) / m_pace.rate));
    m_last = now + wait;
    m_allowance = m_pace.batch;
    flush();
    std::this_thread::sleep_until(m_last);
}
