#include "audioplayer.h"

#include "wavfile.h"

#include "audiooutput.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QLibrary>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>

#if defined(Q_OS_LINUX)
#include <pthread.h>
#endif

namespace sound {

namespace {

using Clock = std::chrono::steady_clock;

// How long the destructor waits for the worker before leaving it behind.
constexpr auto shutdownWait = std::chrono::seconds(2);
// A request that waited this long for the worker would sound out of step with the game.
constexpr auto lateAfter = std::chrono::seconds(2);
// Qt Multimedia 6.4's PulseAudio sink crashes when sinks are stopped and made again every
// millisecond or two. No player clicks that fast: a sound asked for sooner than this after
// the last one waits for the rest of the gap (and, as ever, only the newest one plays).
constexpr auto minStartGap = std::chrono::milliseconds(30);
// Quiet time after the last sound stops, before the worker ends (see Worker::wake).
constexpr int settleAfterStopMs = 100;
// The game has three files; the bound only guards against a caller cycling through many.
constexpr qsizetype cacheLimit = 16;

std::atomic<int> workersRunning{0};

// Messages of the audio system are dropped: those raised on our workers, by Qt Multimedia's
// own categories, and those raised on the PulseAudio client's event threads (Qt Multimedia's
// stream and server callbacks run there and report with plain warnings, e.g. when the server
// goes away). Nothing else in the program uses PulseAudio.
thread_local bool onAudioWorker = false;
QtMessageHandler nextHandler = nullptr;
std::once_flag filterInstalled;

bool onPulseAudioThread() {
#if defined(Q_OS_LINUX)
    // libpulse's default name for the thread, and the one later Qt versions give it.
    char name[16] = {};
    return pthread_getname_np(pthread_self(), name, sizeof name) == 0 &&
           (std::strcmp(name, "threaded-ml") == 0 || std::strcmp(name, "QPulseAudioEngi") == 0);
#else
    return false;
#endif
}

bool fromAudioSystem(const QMessageLogContext& context) {
    return onAudioWorker ||
           (context.category && std::strncmp(context.category, "qt.multimedia", 13) == 0) ||
           onPulseAudioThread();
}

void filterAudioMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg && fromAudioSystem(context))
        return;
    nextHandler(type, context, text);
}

} // namespace

struct AudioPlayer::Shared {
    struct Request {
        QString path;
        Clock::time_point since;
    };

    QString modulePath; // set before the worker starts, then only read
    std::mutex mutex;
    std::condition_variable finished;
    // The worker's receiver while its event loop runs; posting to it never blocks.
    Worker* inbox = nullptr;
    bool wakePosted = false;
    bool started = false;     // the worker thread was made
    bool warmUpAsked = false; // prepare() was called
    bool quit = false;
    bool done = false;
    // Only the newest request matters: it would cut off any older one anyway.
    std::optional<Request> pending;
    Report report;

    void wakeWorker(); // with mutex held
    void askWarmUp();  // with mutex held
};

// Lives on the worker thread and owns everything that talks to the sound server.
class AudioPlayer::Worker : public QObject {
public:
    Worker(std::shared_ptr<Shared> shared, QEventLoop& loop)
        : m_shared(std::move(shared))
        , m_loop(loop) {
        m_gapTimer.setSingleShot(true);
        connect(&m_gapTimer, &QTimer::timeout, this, &Worker::wake);
    }
    ~Worker() override { release(); }

    void warmUp() {
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->quit)
                return;
        }
        if (AudioOutput* out = output())
            out->connectToServer();
    }

    void wake() {
        // Never hold the mutex across a call into the audio system: play() takes it on the
        // caller's thread.
        std::optional<Shared::Request> request;
        quint64 upTo = 0;
        bool quit = false;
        const auto sinceLastStart = Clock::now() - m_lastStart;
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->wakePosted = false;
            quit = m_shared->quit;
            if (!quit && m_shared->pending && sinceLastStart < minStartGap) {
                if (!m_gapTimer.isActive())
                    m_gapTimer.start(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         minStartGap - sinceLastStart) +
                                     std::chrono::milliseconds(1));
                return;
            }
            request = std::exchange(m_shared->pending, std::nullopt);
            upTo = m_shared->report.requested;
        }
        if (quit) {
            // Qt Multimedia 6.4 drops its PulseAudio connection at exit without locking out the
            // thread that handles the server's messages, and crashes if that thread is busy just
            // then. Stopping a sound sets the server talking for a few milliseconds: let that
            // settle before the program can reach its exit.
            const bool wasPlaying = m_output && m_output->isActive();
            release();
            if (wasPlaying)
                QTimer::singleShot(settleAfterStopMs, &m_loop, &QEventLoop::quit);
            else
                m_loop.quit();
            return;
        }
        if (!request)
            return;
        m_gapTimer.stop();
        m_lastStart = Clock::now();
        const Outcome outcome = start(*request);
        std::lock_guard lock(m_shared->mutex);
        m_shared->report.settled = upTo;
        m_shared->report.last = outcome;
    }

private:
    Outcome start(const Shared::Request& request) {
        // Whatever becomes of the new sound, the old one stops, as the caller asked for a new one.
        release();
        const WavFile* wav = decoded(request.path);
        if (!wav)
            return Outcome::Unreadable;
        if (Clock::now() - request.since > lateAfter)
            return Outcome::Late;
        AudioOutput* out = output();
        if (!out || !out->start(request.path, *wav))
            return Outcome::NoOutput;
        return Outcome::Started;
    }

    void release() {
        if (m_output)
            m_output->stop();
    }

    // The audio module, loaded on first need; without it the player stays silent.
    AudioOutput* output() {
        if (!m_loadTried) {
            m_loadTried = true;
            QLibrary library(m_shared->modulePath);
            if (library.load()) {
                if (auto create = reinterpret_cast<CreateAudioOutput>(
                        library.resolve(createAudioOutputSymbol)))
                    m_output.reset(create());
            }
        }
        return m_output.get();
    }

    // Decoded files are kept: the game plays the same three over and over.
    const WavFile* decoded(const QString& path) {
        if (auto it = m_cache.constFind(path); it != m_cache.constEnd())
            return &*it;
        std::optional<WavFile> wav = WavFile::load(path);
        if (!wav)
            return nullptr;
        if (m_cache.size() >= cacheLimit)
            m_cache.clear();
        return &*m_cache.insert(path, std::move(*wav));
    }

    std::shared_ptr<Shared> m_shared;
    QEventLoop& m_loop;
    QHash<QString, WavFile> m_cache;
    QTimer m_gapTimer;
    Clock::time_point m_lastStart;
    bool m_loadTried = false;
    // The module stays loaded for the rest of the run (QLibrary does not unload on its own).
    std::unique_ptr<AudioOutput> m_output;
};

void AudioPlayer::Shared::wakeWorker() {
    if (!inbox || wakePosted)
        return;
    wakePosted = true;
    QMetaObject::invokeMethod(inbox, &Worker::wake, Qt::QueuedConnection);
}

void AudioPlayer::Shared::askWarmUp() {
    if (inbox && warmUpAsked)
        QMetaObject::invokeMethod(inbox, &Worker::warmUp, Qt::QueuedConnection);
}

QString AudioPlayer::moduleBesideProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvalto_audio");
}

AudioPlayer::AudioPlayer(const QString& modulePath)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->modulePath = modulePath;
    std::call_once(filterInstalled,
                   [] { nextHandler = qInstallMessageHandler(filterAudioMessages); });
}

void AudioPlayer::startWorker() {
    if (m_shared->started)
        return;
    m_shared->started = true;
    ++workersRunning;
    try {
        m_thread = std::thread(&AudioPlayer::run, m_shared);
    } catch (const std::system_error&) {
        // No thread to spare: the game goes on without sound, as with no sound server.
        --workersRunning;
    }
}

AudioPlayer::~AudioPlayer() {
    if (!m_thread.joinable())
        return;
    std::unique_lock lock(m_shared->mutex);
    m_shared->quit = true;
    m_shared->wakeWorker();
    if (m_shared->finished.wait_for(lock, shutdownWait, [this] { return m_shared->done; })) {
        lock.unlock();
        m_thread.join();
    } else {
        // Stuck on the sound server: it keeps the shared state alive and ends by itself.
        lock.unlock();
        m_thread.detach();
    }
}

void AudioPlayer::prepare() {
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->warmUpAsked)
        return;
    m_shared->warmUpAsked = true;
    startWorker();
    m_shared->askWarmUp();
}

void AudioPlayer::play(const QString& path) {
    std::lock_guard lock(m_shared->mutex);
    startWorker();
    m_shared->pending = Shared::Request{path, Clock::now()};
    ++m_shared->report.requested;
    m_shared->wakeWorker();
}

AudioPlayer::Report AudioPlayer::report() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->report;
}

int AudioPlayer::runningWorkers() {
    return workersRunning;
}

void AudioPlayer::run(std::shared_ptr<Shared> shared) {
    onAudioWorker = true;
    {
        QEventLoop loop;
        Worker worker(shared, loop);
        {
            std::lock_guard lock(shared->mutex);
            shared->inbox = &worker;
            shared->askWarmUp();  // for a prepare() that came before the loop
            shared->wakeWorker(); // for a request or a quit that came before the loop
        }
        loop.exec();
        std::lock_guard lock(shared->mutex);
        shared->inbox = nullptr;
    }
    --workersRunning;
    std::lock_guard lock(shared->mutex);
    shared->done = true;
    shared->finished.notify_all();
}

} // namespace sound
