#include "generatore.h"

#include <cmath>

namespace {

// splitmix64's finaliser: every input bit reaches every output bit.
quint64 mix(quint64 z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

void Generatore::stir(quint64 value) {
    m_state = mix(m_state ^ mix(value + 0x9e3779b97f4a7c15ULL));
}

void Generatore::reseedFromTime(quint64 timeOfDay) {
    stir(timeOfDay);
}

void Generatore::reseed(qint16 value) {
    // Tagged so that a number and a time of day with the same bits stir differently.
    stir((quint64(quint16(value)) << 8) | 0x5eU);
}

quint64 Generatore::next() {
    m_state += 0x9e3779b97f4a7c15ULL;
    return mix(m_state);
}

float Generatore::draw() {
    // 24 bits fill a float's mantissa exactly, so the value never rounds up to 1.
    return float(next() >> 40) * (1.0f / 16777216.0f);
}

int Generatore::below(int n) {
    // In double, so that n * r stays below n for every r < 1.
    return int(std::floor(double(n) * double(draw())));
}
