// The audio output module on Windows: winmm's PlaySound, straight from the file.

#include "audiooutput.h"
#include "wavfile.h"

#include <QString>

#include <chrono>

#include <windows.h>

#include <mmsystem.h>

namespace sound {
namespace {

using Clock = std::chrono::steady_clock;

class WinmmOutput final : public AudioOutput {
public:
    ~WinmmOutput() override { stop(); }

    // winmm opens the device at the first sound; there is nothing to make ready ahead.
    void connectToServer() override {}

    bool start(const QString& path, const WavFile& wav) override {
        // Asynchronous, and never the system's default sound in place of a missing one; without
        // SND_NOSTOP a sound still playing is cut off.
        if (!PlaySoundW(reinterpret_cast<const wchar_t*>(path.utf16()), nullptr,
                        SND_FILENAME | SND_ASYNC | SND_NODEFAULT)) {
            m_until = {};
            return false;
        }
        m_until = Clock::now() + std::chrono::microseconds(wav.durationMicroseconds());
        return true;
    }

    void stop() override {
        if (isActive())
            PlaySoundW(nullptr, nullptr, 0);
        m_until = {};
    }

    // PlaySound tells nothing of its progress: the sound lasts as long as the file says.
    bool isActive() const override { return Clock::now() < m_until; }

private:
    Clock::time_point m_until;
};

} // namespace
} // namespace sound

extern "C" __declspec(dllexport) sound::AudioOutput* corvalto_create_audio_output() {
    return new sound::WinmmOutput;
}
