#pragma once

#include <QString>

namespace sound {

// Plays a sound effect. The window depends on this seam only, so that its tests can put a
// recording double in place of the real audio output.
class Player {
public:
    virtual ~Player() = default;
    // Starts the wave file at path and returns at once; a sound still playing is cut off.
    // Nothing is reported: a file or an output that does not work just leaves silence.
    virtual void play(const QString& path) = 0;
};

} // namespace sound
