#pragma once

// The Qt tests' one bounded wait: it runs the event loop, so timers, queued calls and the
// main window's idle passes go on while the test waits.
#include <chrono>
#include <functional>

#include <QEventLoop>
#include <QTimer>

#include "tests/support/BoundedWait.h"

namespace testsupport {

// Runs the event loop as the program does (it waits when its queue is empty, which runs the
// main window's idle passes) until the condition holds or the limit passes; whether it held.
inline bool WaitInEventLoop(const std::function<bool()>& condition,
                            std::chrono::milliseconds limit = WaitLimit) {
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

} // namespace testsupport
