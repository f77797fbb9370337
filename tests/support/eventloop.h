#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <utility>

// Runs the event loop until the condition holds or the time is up; gives the
// condition's last value. For waiting on things that really happen
// asynchronously (data crossing a pty, a timer firing).
inline bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return condition();
        // Sleeps in the event loop until something happens or 5 ms pass.
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for a while.
inline void processEventsFor(int milliseconds)
{
    processEventsUntil([] { return false; }, milliseconds);
}

// Polls until size() has grown to at least `length` and has not changed for
// 300 ms (so that extra characters are seen too), or until the timeout.
inline void processEventsUntilQuietAt(const std::function<qsizetype()> &size, qsizetype length, int timeoutMs)
{
    QElapsedTimer quiet;
    qsizetype last = -1;
    processEventsUntil(
        [&] {
            const qsizetype now = size();
            if (std::exchange(last, now) != now)
                quiet.start();
            return now >= length && quiet.elapsed() >= 300;
        },
        timeoutMs);
}
