#pragma once

class QString;

namespace sound {

class WavFile;

// The part of the player that talks to the sound server. It lives in a module of its own,
// loaded by the player's worker thread, so that the program does not load the audio
// libraries (and their dozens of dependencies) before its window is on screen.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Connecting is the slow part of the first sound: done ahead when there is time.
    virtual void connectToServer() = 0;
    // Stops the sound playing, if any, and starts this one, the file at `path` already decoded
    // into `wav` (an output may play either); false if nothing can play it.
    virtual bool start(const QString& path, const WavFile& wav) = 0;
    virtual void stop() = 0;
    // Whether a sound is still coming out (or was, less than a moment ago).
    virtual bool isActive() const = 0;
};

// The module's one entry point, resolved by name: a new output, owned by the caller.
using CreateAudioOutput = AudioOutput* (*)();
inline constexpr char createAudioOutputSymbol[] = "corvalto_create_audio_output";

} // namespace sound
