// The audio output module: Qt Multimedia's QAudioSink, fed from memory.

#include "audiooutput.h"
#include "wavfile.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>

#include <memory>

namespace sound {
namespace {

// The sink reports Idle while the server still plays its last ~100 ms; keep it that long and
// more before letting go of the stream.
constexpr int releaseAfterIdleMs = 1000;

QAudioFormat formatOf(const WavFile& wav) {
    QAudioFormat format;
    format.setSampleRate(wav.sampleRate());
    format.setChannelCount(wav.channelCount());
    format.setSampleFormat(wav.bitsPerSample() == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    return format;
}

class QtAudioOutput final : public QObject, public AudioOutput {
public:
    QtAudioOutput() {
        m_releaseTimer.setSingleShot(true);
        m_releaseTimer.setInterval(releaseAfterIdleMs);
        connect(&m_releaseTimer, &QTimer::timeout, this, &QtAudioOutput::stop);
    }
    ~QtAudioOutput() override { stop(); }

    void connectToServer() override { QMediaDevices::defaultAudioOutput(); }

    bool start(const QString&, const WavFile& wav) override {
        stop();
        const QAudioFormat format = formatOf(wav);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(format))
            return false;

        m_buffer = std::make_unique<QBuffer>();
        m_buffer->setData(wav.samples());
        m_buffer->open(QIODevice::ReadOnly);
        m_sink = std::make_unique<QAudioSink>(device, format);
        connect(m_sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::IdleState)
                m_releaseTimer.start();
        });
        m_sink->start(m_buffer.get());
        if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
            stop();
            return false;
        }
        return true;
    }

    void stop() override {
        m_releaseTimer.stop();
        if (m_sink) {
            m_sink->stop();
            m_sink.reset();
        }
        m_buffer.reset();
    }

    bool isActive() const override { return m_sink != nullptr; }

private:
    QTimer m_releaseTimer;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QAudioSink> m_sink; // declared last: stops before its buffer goes
};

} // namespace
} // namespace sound

extern "C" Q_DECL_EXPORT sound::AudioOutput* corvalto_create_audio_output() {
    return new sound::QtAudioOutput;
}
