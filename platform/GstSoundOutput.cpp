// The sound output over a GStreamer pipeline of our own (see SoundOutput.h).

#include "platform/SoundOutput.h"

#include <QFile>
#include <QTimer>
#include <atomic>
#include <gst/gst.h>
#include <mutex>
#include <set>

namespace platform {
namespace {

void initGStreamer()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Where the sink is chosen automatically (no PulseAudio sink installed), it would try
        // the JACK sink, whose client library can wait for ever on a lock a crashed process left
        // behind. The cues go through PulseAudio or ALSA; a user who ranks JACK keeps his rank.
        QByteArray ranks = qgetenv("GST_PLUGIN_FEATURE_RANK");
        if (!ranks.contains("jackaudiosink")) {
            ranks += QByteArray(ranks.isEmpty() ? "" : ",") + "jackaudiosink:NONE";
            qputenv("GST_PLUGIN_FEATURE_RANK", ranks);
        }
        gst_init(nullptr, nullptr);
    });
}

// PulseAudio's sink, which fails when there is no server; the automatic sink only where it is
// not installed (that one falls back to a silent sink when nothing answers).
QByteArray sinkName()
{
    static const QByteArray name = [] {
        GstElementFactory* pulse = gst_element_factory_find("pulsesink");
        if (!pulse)
            return QByteArray("autoaudiosink");
        gst_object_unref(pulse);
        return QByteArray("pulsesink");
    }();
    return name;
}

QString noOutputText()
{
    return QStringLiteral("音声の出力先（サウンドサーバーや音声装置）につながりません");
}

bool isError(const GError* e, GQuark domain, std::initializer_list<int> codes)
{
    if (e->domain != domain)
        return false;
    for (int code : codes)
        if (e->code == code)
            return true;
    return false;
}

// The name of the factory that made the element a message came from; empty for other objects.
QByteArray factoryOf(GstObject* from)
{
    GstElementFactory* factory
        = from && GST_IS_ELEMENT(from) ? gst_element_get_factory(GST_ELEMENT(from)) : nullptr;
    return factory ? QByteArray(GST_OBJECT_NAME(factory)) : QByteArray();
}

// What failed, in the operator's words; GStreamer's own (English) text follows as a detail.
QString reasonOf(const GError* e, SoundOutput::Failure failure, GstObject* from = nullptr)
{
    QString said;
    if (failure == SoundOutput::Failure::Output)
        said = noOutputText();
    else if (isError(e, GST_RESOURCE_ERROR, { GST_RESOURCE_ERROR_NOT_FOUND }))
        said = QStringLiteral("ファイルが見つかりません");
    else if (isError(e, GST_RESOURCE_ERROR,
                 { GST_RESOURCE_ERROR_OPEN_READ, GST_RESOURCE_ERROR_READ, GST_RESOURCE_ERROR_NO_SPACE_LEFT }))
        said = QStringLiteral("ファイルを読み込めません");
    // The type finder knows nothing in the file. Any other element that cannot tell the type
    // knows the file but not the format inside it (a WAV file of an unknown codec); the decoder
    // bin then may say only that none of its streams gave sound.
    else if (isError(e, GST_STREAM_ERROR, { GST_STREAM_ERROR_TYPE_NOT_FOUND })
        && factoryOf(from) == "typefind")
        said = QStringLiteral("音声ファイルではありません");
    else if (isError(e, GST_CORE_ERROR, { GST_CORE_ERROR_MISSING_PLUGIN })
        || isError(e, GST_STREAM_ERROR,
            { GST_STREAM_ERROR_CODEC_NOT_FOUND, GST_STREAM_ERROR_TYPE_NOT_FOUND,
                GST_STREAM_ERROR_WRONG_TYPE })
        || (isError(e, GST_STREAM_ERROR, { GST_STREAM_ERROR_FAILED }) && factoryOf(from) == "decodebin"))
        said = QStringLiteral("この形式の音声を再生する部品（デコーダー）がありません");
    else if (isError(e, GST_STREAM_ERROR,
                 { GST_STREAM_ERROR_DECODE, GST_STREAM_ERROR_DEMUX, GST_STREAM_ERROR_FORMAT,
                     GST_STREAM_ERROR_FAILED }))
        said = QStringLiteral("音声データを読み取れません");
    else
        said = QStringLiteral("再生できませんでした");
    return said + QStringLiteral("。詳細: ") + QString::fromUtf8(e->message);
}

class GstSoundOutput;
// The outputs made on this thread, for releaseThreadPipelines.
thread_local std::set<GstSoundOutput*> t_outputs;

class GstSoundOutput final : public SoundOutput {
public:
    explicit GstSoundOutput(bool muted)
        : m_muted(muted)
    {
        initGStreamer();
        m_poll.setInterval(BusPollMs);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { readBus(); });
        t_outputs.insert(this);
    }
    ~GstSoundOutput() override
    {
        release();
        t_outputs.erase(this);
    }

    void Play(const QString& file) override
    {
        release();
        m_playing = m_started = false;
        m_sounded = false;
        const QByteArray description = "filesrc name=file ! decodebin ! audioconvert ! "
            + QByteArray(m_muted ? "volume volume=0 ! " : "") + "audioresample ! " + sinkName() + " name=out";
        GError* error = nullptr;
        m_pipeline
            = gst_parse_launch_full(description.constData(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &error);
        if (!m_pipeline) {
            // An element of the pipeline is not installed: nothing can be played at all.
            const QString reason = reasonOf(error, Failure::Output);
            g_error_free(error);
            fail(Failure::Output, reason);
            return;
        }
        GstElement* source = gst_bin_get_by_name(GST_BIN(m_pipeline), "file");
        g_object_set(source, "location", QFile::encodeName(file).constData(), nullptr);
        gst_object_unref(source);
        m_sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "out");
        GstPad* pad = gst_element_get_static_pad(m_sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &GstSoundOutput::onBuffer, &m_sounded, nullptr);
        gst_object_unref(pad);
        m_bus = gst_element_get_bus(m_pipeline);
        m_poll.start();
        // Connects to the sound server: blocks while the server does not answer.
        const GstStateChangeReturn result = gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
        readBus();
        if (result == GST_STATE_CHANGE_FAILURE && m_pipeline)
            fail(Failure::Output, noOutputText());
    }

    void Stop() override { release(); }

    // Lets go of the pipeline: NULL first, which ends its streaming threads.
    void release()
    {
        m_poll.stop();
        if (m_bus)
            gst_object_unref(m_bus);
        if (m_sink)
            gst_object_unref(m_sink);
        if (m_pipeline) {
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_pipeline);
        }
        m_bus = nullptr;
        m_sink = nullptr;
        m_pipeline = nullptr;
    }

    // How often the pipeline's messages are read while it plays.
    static constexpr int BusPollMs = 5;

private:
    // On a streaming thread: a buffer has reached the sink.
    static GstPadProbeReturn onBuffer(GstPad*, GstPadProbeInfo*, gpointer sounded)
    {
        static_cast<std::atomic<bool>*>(sounded)->store(true);
        return GST_PAD_PROBE_REMOVE;
    }

    void readBus()
    {
        while (m_bus) {
            GstMessage* message = gst_bus_pop(m_bus);
            if (!message)
                break;
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_STATE_CHANGED && GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline)) {
                GstState state = GST_STATE_NULL;
                gst_message_parse_state_changed(message, nullptr, &state, nullptr);
                m_playing = m_playing || state == GST_STATE_PLAYING;
            } else if (type == GST_MESSAGE_ERROR) {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                GstObject* from = GST_MESSAGE_SRC(message);
                const Failure failure
                    = from == GST_OBJECT(m_sink) || gst_object_has_as_ancestor(from, GST_OBJECT(m_sink))
                    ? Failure::Output
                    : Failure::File;
                const QString reason = reasonOf(error, failure, from);
                g_error_free(error);
                gst_message_unref(message);
                fail(failure, reason);
                return;
            }
            noteStart();
            gst_message_unref(message);
            if (type == GST_MESSAGE_EOS) {
                release();
                if (onEnded)
                    onEnded();
                return;
            }
        }
        noteStart();
    }

    // Started: the pipeline plays and the sound has reached its sink.
    void noteStart()
    {
        if (m_started || !m_playing || !m_sounded)
            return;
        m_started = true;
        if (onStarted)
            onStarted();
    }

    void fail(Failure failure, const QString& reason)
    {
        release();
        if (onFailed)
            onFailed(failure, reason);
    }

    const bool m_muted;
    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
    GstBus* m_bus = nullptr;
    QTimer m_poll;
    bool m_playing = false; // the pipeline has reached PLAYING
    bool m_started = false; // said for this play
    std::atomic<bool> m_sounded { false }; // a buffer has reached the sink
};

} // namespace

std::unique_ptr<SoundOutput> makeGstSoundOutput(bool muted)
{
    return std::make_unique<GstSoundOutput>(muted);
}

void releaseThreadPipelines()
{
    for (GstSoundOutput* output : t_outputs)
        output->release();
}

} // namespace platform
