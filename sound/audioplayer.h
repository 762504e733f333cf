#pragma once

#include "player.h"

#include <QtGlobal>

#include <memory>
#include <thread>

namespace sound {

// Plays wave files on the sound server without ever holding up the calling thread.
//
// A sound server that hangs blocks whoever talks to it, for good. So every call into the
// audio system, the first connection included, is made on a worker thread owned by this
// object; play() only hands the path over, and may be called from any thread. Nothing of the
// audio system is touched before prepare() or the first play(): the worker thread starts then,
// and loads the audio output (a module of its own, see audiooutput.h) and connects at once on
// prepare(), or else at the first sound. Make the player after the QApplication (and after
// setting the application's name and icon, which the sound server is told about);
// construction costs nothing but the message filter below.
//
// Qt Multimedia reports a missing or failing sound server with warnings on stderr; the first
// AudioPlayer installs a message filter, chained to the handler in place at that moment, that
// drops the audio system's messages and passes every other one on. A handler installed later
// should pass messages on to the one it replaces.
class AudioPlayer final : public Player {
public:
    // What became of the last request the worker dealt with; for diagnostics and tests.
    enum class Outcome {
        None,       // nothing dealt with yet
        Started,    // the sound is playing
        Unreadable, // missing file, or not a wave file this player can decode
        NoOutput,   // no sound server or device, or it refused the sound
        Late,       // the worker was held up so long that the sound would come out of place
    };
    struct Report {
        quint64 requested = 0; // play() calls so far
        quint64 settled = 0;   // how many of them the worker has dealt with (or skipped as stale)
        Outcome last = Outcome::None;
    };

    // modulePath: the audio output module (corvalto_audio), with or without its suffix.
    explicit AudioPlayer(const QString& modulePath = moduleBesideProgram());
    // Stops the sound. If the worker is stuck on a frozen server it is left behind after a
    // short wait: it finishes on its own if the server ever answers.
    ~AudioPlayer() override;
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    void prepare() override;
    void play(const QString& path) override;
    Report report() const;

    // The audio output module as installed: beside the program.
    static QString moduleBesideProgram();

    // Worker threads still running, including those left behind by destroyed players.
    static int runningWorkers();

private:
    class Worker;
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);
    void startWorker(); // with m_shared->mutex held

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace sound
