#include "AudioFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

namespace platform {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ResamplerCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// The tag of `dictionary` named `key` (any case), or empty.
std::string tag(const AVDictionary* dictionary, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

// The seconds of sound the data chunk of the WAV file at `path` claims, when
// that is more than the file holds after it; negative otherwise.
double announcedBeyondTheEnd(const std::string& path, int blockAlign, int sampleRate) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    std::array<unsigned char, 12> riff{};
    if (!in || blockAlign <= 0 || sampleRate <= 0 || !in.seekg(0) ||
        !in.read(reinterpret_cast<char*>(riff.data()), riff.size()) ||
        std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return -1.0;
    }
    std::streamoff at = 12;
    // A file with more chunks before its sound than this is not looked into.
    for (int chunks = 0; chunks < 64 && at + 8 <= size; ++chunks) {
        std::array<unsigned char, 8> head{};
        if (!in.seekg(at) || !in.read(reinterpret_cast<char*>(head.data()), head.size())) {
            return -1.0;
        }
        const std::uint32_t length =
            static_cast<std::uint32_t>(head[4]) | static_cast<std::uint32_t>(head[5]) << 8 |
            static_cast<std::uint32_t>(head[6]) << 16 | static_cast<std::uint32_t>(head[7]) << 24;
        if (std::memcmp(head.data(), "data", 4) == 0) {
            // 0 and 0xFFFFFFFF: a writer that did not know the length.
            const std::streamoff held = size - at - 8;
            if (length == 0 || length == 0xFFFFFFFFu || length <= held) {
                return -1.0;
            }
            return static_cast<double>(length / static_cast<std::uint32_t>(blockAlign)) /
                   sampleRate;
        }
        at += 8 + static_cast<std::streamoff>(length) + (length & 1u);
    }
    return -1.0;
}

}  // namespace

struct AudioFile::Impl {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    std::unique_ptr<AVPacket, PacketCloser> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameCloser> frame{av_frame_alloc()};
    std::unique_ptr<SwrContext, ResamplerCloser> resampler;
    int stream = -1;
    Info info;
    int channel = -1;
    int rate = 0;
    int outChannels = 1;
    // Resampled frames not yet read, planar: one vector a channel.
    std::vector<std::vector<std::int16_t>> pending;
    std::size_t pendingFirst = 0;
    long long framesOut = 0;
    int damaged = 0;
    double firstDamage = -1.0;
    std::string endedEarly;
    bool inputDone = false;
    bool flushed = false;

    std::size_t pendingFrames() const {
        return pending.empty() ? 0 : pending[0].size() - pendingFirst;
    }
    // Decodes more of the file into `pending`; false at its end.
    bool decodeMore();
    void resample(const AVFrame* in);
    void noteDamage() {
        if (damaged++ == 0) {
            firstDamage = rate > 0 ? static_cast<double>(framesOut + pendingFrames()) / rate : 0.0;
        }
    }
};

AudioFile::AudioFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

AudioFile::~AudioFile() = default;

std::string AudioFile::errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path, std::string& reason) {
    // The program says what went wrong in its own words.
    av_log_set_level(AV_LOG_QUIET);
    auto impl = std::make_unique<Impl>();
    AVFormatContext* format = nullptr;
    int error = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
    if (error < 0) {
        reason = errorText(error);
        return nullptr;
    }
    impl->format.reset(format);
    if ((error = avformat_find_stream_info(format, nullptr)) < 0) {
        reason = errorText(error);
        return nullptr;
    }
    const AVCodec* decoder = nullptr;
    impl->stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (impl->stream < 0 || decoder == nullptr) {
        reason = impl->stream == AVERROR_DECODER_NOT_FOUND
                     ? "its sound is in a form it cannot decode"
                     : "it holds no sound";
        return nullptr;
    }
    const AVStream* stream = format->streams[impl->stream];
    impl->codec.reset(avcodec_alloc_context3(decoder));
    if (!impl->codec || avcodec_parameters_to_context(impl->codec.get(), stream->codecpar) < 0 ||
        (error = avcodec_open2(impl->codec.get(), decoder, nullptr)) < 0) {
        reason = "its " + std::string(decoder->name) + " sound cannot be decoded";
        return nullptr;
    }
    Info& info = impl->info;
    info.channels = impl->codec->ch_layout.nb_channels;
    info.sampleRate = impl->codec->sample_rate;
    if (info.channels <= 0 || info.sampleRate <= 0) {
        reason = "it does not say its channels or sample rate";
        return nullptr;
    }
    if (format->duration > 0) {
        info.durationSeconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    } else if (stream->duration > 0) {
        info.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    info.format = std::string(decoder->name) + " in " + format->iformat->name;
    if (std::strcmp(format->iformat->name, "wav") == 0) {
        info.announcedSeconds =
            announcedBeyondTheEnd(path, stream->codecpar->block_align, info.sampleRate);
    }
    const bool wav = std::strcmp(format->iformat->name, "wav") == 0;
    for (const AVDictionary* dictionary : {format->metadata, stream->metadata}) {
        const std::string created = tag(dictionary, "creation_time");
        if (!created.empty()) {
            info.timeTags.emplace_back("creation_time", created);
        }
        // FFmpeg's WAV reader gives a broadcast WAV's origination date as
        // "date" and its time of day ("08:15:02") as "creation_time".
        const bool bext = wav && created.size() == 8;
        const std::string day =
            bext ? tag(dictionary, "date") : tag(dictionary, "origination_date");
        if (!day.empty()) {
            info.timeTags.emplace_back(
                "origination", day + " " + (bext ? created : tag(dictionary, "origination_time")));
        }
        const std::string date = tag(dictionary, "date");
        if (!date.empty()) {
            info.timeTags.emplace_back("date", date);
        }
    }
    return std::unique_ptr<AudioFile>(new AudioFile(std::move(impl)));
}

const AudioFile::Info& AudioFile::info() const {
    return impl_->info;
}

std::string AudioFile::deliver(int channel, int rate) {
    Impl& d = *impl_;
    if (channel >= d.info.channels || rate <= 0) {
        return "there is no channel " + std::to_string(channel + 1);
    }
    d.channel = channel;
    d.rate = rate;
    d.outChannels = channel < 0 ? d.info.channels : 1;
    // Every channel resampled, planar; read() takes the one asked for.
    SwrContext* resampler = nullptr;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, d.info.channels);
    const int error =
        swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_S16P, rate, &d.codec->ch_layout,
                            d.codec->sample_fmt, d.codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (error < 0 || resampler == nullptr || swr_init(resampler) < 0) {
        swr_free(&resampler);
        return "its sound cannot be resampled";
    }
    d.resampler.reset(resampler);
    d.pending.assign(static_cast<std::size_t>(d.info.channels), {});
    d.pendingFirst = 0;
    return {};
}

void AudioFile::Impl::resample(const AVFrame* in) {
    const int inFrames = in != nullptr ? in->nb_samples : 0;
    const int room = swr_get_out_samples(resampler.get(), inFrames);
    if (room <= 0) {
        return;
    }
    // What was read goes first, so the vectors hold no more than a frame's
    // worth and what it resamples to.
    for (auto& plane : pending) {
        plane.erase(plane.begin(), plane.begin() + static_cast<std::ptrdiff_t>(pendingFirst));
    }
    pendingFirst = 0;
    const std::size_t before = pending[0].size();
    std::vector<std::uint8_t*> out(pending.size());
    for (std::size_t c = 0; c < pending.size(); ++c) {
        pending[c].resize(before + static_cast<std::size_t>(room));
        out[c] = reinterpret_cast<std::uint8_t*>(pending[c].data() + before);
    }
    const int made = swr_convert(
        resampler.get(), out.data(), room,
        in != nullptr ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr, inFrames);
    for (auto& plane : pending) {
        plane.resize(before + static_cast<std::size_t>(std::max(made, 0)));
    }
}

bool AudioFile::Impl::decodeMore() {
    // A decoder that keeps failing on one packet is left after a few tries.
    int failures = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            resample(frame.get());
            av_frame_unref(frame.get());
            return true;
        }
        if (received == AVERROR_EOF) {
            if (!flushed) {
                // What the resampler still holds.
                flushed = true;
                resample(nullptr);
                return pendingFrames() > 0;
            }
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            // A frame the decoder could not make sense of.
            noteDamage();
            if (++failures < 8) {
                continue;
            }
        }
        failures = 0;
        if (inputDone) {
            return false;
        }
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) {
            if (read != AVERROR_EOF) {
                endedEarly = AudioFile::errorText(read);
            }
            inputDone = true;
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream && avcodec_send_packet(codec.get(), packet.get()) < 0) {
            noteDamage();
        }
        av_packet_unref(packet.get());
    }
}

std::size_t AudioFile::read(std::int16_t* out, std::size_t frames) {
    Impl& d = *impl_;
    if (!d.resampler) {
        return 0;
    }
    std::size_t done = 0;
    while (done < frames) {
        if (d.pendingFrames() == 0 && !d.decodeMore()) {
            break;
        }
        const std::size_t take = std::min(frames - done, d.pendingFrames());
        for (std::size_t i = 0; i < take; ++i) {
            const std::size_t at = d.pendingFirst + i;
            if (d.channel >= 0) {
                out[done + i] = d.pending[static_cast<std::size_t>(d.channel)][at];
            } else {
                for (std::size_t c = 0; c < d.pending.size(); ++c) {
                    out[(done + i) * d.pending.size() + c] = d.pending[c][at];
                }
            }
        }
        d.pendingFirst += take;
        done += take;
    }
    d.framesOut += static_cast<long long>(done);
    return done;
}

double AudioFile::secondsRead() const {
    return impl_->rate > 0 ? static_cast<double>(impl_->framesOut) / impl_->rate : 0.0;
}

int AudioFile::damagedFrames() const {
    return impl_->damaged;
}

double AudioFile::firstDamageSeconds() const {
    return impl_->firstDamage;
}

const std::string& AudioFile::endedEarly() const {
    return impl_->endedEarly;
}

}  // namespace platform
