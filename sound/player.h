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
    // Gets the output ready ahead of the first sound, off the caller's thread; the game calls it
    // once its window is on screen, since the first sound (the board click) can come right after.
    // Without it the first sound gets the output ready itself, and comes that much later.
    virtual void prepare() {}
};

} // namespace sound
