#include "keyboard/wayland/keystrokepacer.h"

#include <algorithm>

KeystrokePacer::Clock::duration KeystrokePacer::take(double count, Clock::time_point now)
{
    const double elapsed = std::chrono::duration<double>(now - m_last).count();
    m_allowance = std::min(Burst, m_allowance + elapsed * Rate);
    m_last = now;
    m_allowance -= count;
    if (m_allowance >= 0)
        return Clock::duration::zero();
    // The debt is paid by waiting; the next call starts from after the wait.
    const auto wait = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(-m_allowance / Rate));
    m_last = now + wait;
    m_allowance = 0;
    return wait;
}
