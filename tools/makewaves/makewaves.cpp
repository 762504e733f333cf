// Synthesises the game's three sound effects as 16-bit PCM mono wave files, so that the
// project ships no binary sounds. The output is the same on every run and every machine.
//
//   corvalto_makewaves <folder>   writes sparo.wav, esplosi.wav and laser.wav into folder

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr double twoPi = 2 * std::numbers::pi;

using Signal = std::vector<double>;

// A fixed-seed generator: noise that is identical on every build.
class Noise {
public:
    explicit Noise(std::uint32_t seed)
        : m_state(seed) {}
    double next() // in [-1, 1)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t m_state;
};

// One-pole low-pass filter; the cut-off may change from sample to sample.
class LowPass {
public:
    double next(double x, double cutoffHz) {
        m_y += (1 - std::exp(-twoPi * cutoffHz / sampleRate)) * (x - m_y);
        return m_y;
    }

private:
    double m_y = 0;
};

int samplesFor(double seconds) {
    return int(std::lround(seconds * sampleRate));
}
double timeOf(int i) {
    return double(i) / sampleRate;
}
// An exponential glide from a to b as t goes from 0 to 1: sweeps sound even to the ear.
double glide(double a, double b, double t) {
    return a * std::pow(b / a, t);
}

// Scales to the given peak (below full scale: nothing clips), then fades both ends with half
// cosines so that the sound starts and stops at zero: no click at either end.
void finish(Signal& s, double peakLevel, double fadeInSeconds, double fadeOutSeconds) {
    const double peak = std::ranges::max(s, {}, [](double x) { return std::abs(x); });
    for (double& x : s)
        x *= peakLevel / std::abs(peak);
    const int in = samplesFor(fadeInSeconds);
    const int out = samplesFor(fadeOutSeconds);
    const int n = int(s.size());
    for (int i = 0; i < in; ++i)
        s[i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * i / in);
    for (int i = 0; i < out; ++i)
        s[n - 1 - i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * i / out);
}

// A shot: a bright burst of noise that darkens quickly over a short low thump.
Signal shot() {
    Signal s(samplesFor(0.25));
    Noise noise(0x5eed0001);
    LowPass filter;
    double phase = 0;
    for (int i = 0; i < int(s.size()); ++i) {
        const double t = timeOf(i);
        const double burst = filter.next(noise.next(), glide(7000, 700, t / 0.25));
        phase += twoPi * glide(170, 55, t / 0.25) / sampleRate;
        s[i] = 0.9 * burst * std::exp(-t / 0.04) + 0.7 * std::sin(phase) * std::exp(-t / 0.07);
    }
    finish(s, 0.8, 0.002, 0.03);
    return s;
}

// An explosion: a dark roar of noise with a slow decay over a deep rumble.
Signal explosion() {
    Signal s(samplesFor(0.8));
    Noise noise(0x5eed0002);
    LowPass filter;
    LowPass smoother;
    double phase = 0;
    for (int i = 0; i < int(s.size()); ++i) {
        const double t = timeOf(i);
        const double roar = filter.next(noise.next(), glide(2500, 180, t / 0.8));
        // The rumble's pitch wanders a little, as a real blast's does.
        const double wander = smoother.next(noise.next(), 8);
        phase += twoPi * (48 + 30 * wander) / sampleRate;
        const double swell = std::min(1.0, t / 0.01);
        s[i] =
            swell * (1.6 * roar * std::exp(-t / 0.22) + 0.5 * std::sin(phase) * std::exp(-t / 0.3));
    }
    finish(s, 0.85, 0.004, 0.08);
    return s;
}

// A laser: a tone sweeping down from high to low, with a quick vibrato and a touch of its
// octave for an electronic edge.
Signal laser() {
    Signal s(samplesFor(0.4));
    double phase = 0;
    for (int i = 0; i < int(s.size()); ++i) {
        const double t = timeOf(i);
        const double vibrato = 1 + 0.03 * std::sin(twoPi * 28 * t);
        phase += twoPi * glide(2400, 350, t / 0.4) * vibrato / sampleRate;
        s[i] = (std::sin(phase) + 0.3 * std::sin(2 * phase)) * (1 - 0.4 * t / 0.4);
    }
    // A steady tone sounds much louder than a burst of the same peak: keep it lower.
    finish(s, 0.45, 0.004, 0.06);
    return s;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(char((value >> (8 * i)) & 0xff));
}

bool writeWave(const std::filesystem::path& path, const Signal& s) {
    const std::uint32_t dataBytes = std::uint32_t(s.size() * 2);
    std::string bytes = "RIFF";
    putLittleEndian(bytes, 36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    putLittleEndian(bytes, 16, 4); // size of the format chunk
    putLittleEndian(bytes, 1, 2);  // PCM
    putLittleEndian(bytes, 1, 2);  // mono
    putLittleEndian(bytes, sampleRate, 4);
    putLittleEndian(bytes, sampleRate * 2, 4); // bytes per second
    putLittleEndian(bytes, 2, 2);              // bytes per frame
    putLittleEndian(bytes, 16, 2);             // bits per sample
    bytes += "data";
    putLittleEndian(bytes, dataBytes, 4);
    for (double x : s)
        putLittleEndian(bytes, std::uint16_t(std::int16_t(std::lround(x * 32767))), 2);

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(file.flush());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const struct {
        const char* name;
        Signal (*make)();
    } sounds[] = {{"sparo.wav", shot}, {"esplosi.wav", explosion}, {"laser.wav", laser}};
    for (const auto& sound : sounds) {
        if (!writeWave(folder / sound.name, sound.make())) {
            std::fprintf(stderr, "cannot write %s\n", (folder / sound.name).c_str());
            return 1;
        }
    }
    return 0;
}
