#pragma once

#include "summary.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <optional>

#if defined(CORVALTO_BENCH_XCB)
#include <xcb/xcb.h>
#endif

// Waits until what a handler changed is on screen. Qt paints a window's dirty widgets and
// flushes its backing store when the window receives its (posted) UpdateRequest; the watch
// handles that event itself, so the time it notes is the moment the flush returned. On X it
// then makes one round trip, so the server has also drawn the image it was sent.
class FlushWatch : public QObject {
public:
    explicit FlushWatch(QWidget* window)
        : m_window(window) {
        window->installEventFilter(this);
    }

    // Processes events until the window's next repaint has been flushed; nothing when no
    // repaint came within quietMs (the handler changed nothing visible).
    std::optional<BenchClock::time_point> waitForFlush(int quietMs = 200) {
        m_armed = true;
        m_flushedAt.reset();
        const auto deadline = BenchClock::now() + std::chrono::milliseconds(quietMs);
        while (!m_flushedAt && BenchClock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_armed = false;
        if (!m_flushedAt)
            return std::nullopt;
        syncWithDisplay();
        return BenchClock::now();
    }

    // Repaints the whole window and waits until it is on screen: every run starts from a
    // screen that shows the current state and has no repaint pending.
    void settle() {
        m_window->update();
        waitForFlush(2000);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_armed || watched != m_window || event->type() != QEvent::UpdateRequest)
            return false;
        // Deliver it here, to note when painting and flushing are over.
        static_cast<QObject*>(m_window)->event(event);
        m_flushedAt = BenchClock::now();
        return true;
    }

private:
    static void syncWithDisplay() {
#if defined(CORVALTO_BENCH_XCB)
        // The offscreen platform answers too, with no connection.
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (xcb_connection_t* c = x11 ? x11->connection() : nullptr)
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
#endif
    }

    QWidget* m_window;
    bool m_armed = false;
    std::optional<BenchClock::time_point> m_flushedAt;
};
