#pragma once

#include <QtGlobal>

// The one pseudo-random generator of the game. Re-seeding mixes the new value into the
// current state instead of restarting a sequence, so two deals that re-seed with the same
// preset still come out different.
class Generatore {
public:
    explicit Generatore(quint64 state = 0x2545f4914f6cdd1dULL)
        : m_state(state) {}

    // Mixes the time of day (any unit; the game passes microseconds) into the state.
    void reseedFromTime(quint64 timeOfDay);
    void reseed(qint16 value);
    // r with 0 <= r < 1, evenly spread over 2^24 steps.
    float draw();
    // The whole number floor(n * r) for the next r: 0 to n - 1.
    int below(int n);

    quint64 state() const { return m_state; }
    void setState(quint64 state) { m_state = state; }

private:
    void stir(quint64 value);
    quint64 next();

    quint64 m_state;
};
