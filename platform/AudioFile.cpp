#include "AudioFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/avstring.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "FileDescriptor.h"
#include "FrameSamples.h"
#include "RegularFile.h"
#include "SoundTimeline.h"
#include "WavLayout.h"

namespace platform {

namespace {

// The demuxers of single audio files: what phones, recorders and voicemail
// keep. Playlists and concatenation lists (which name other files) and every
// other form are refused. "mov" is the demuxer of MOV, MP4, M4A and 3GP.
constexpr const char* allowedFormats = "wav,w64,flac,ogg,mp3,mov,aac,amr,aiff,caf,matroska,au";
// Forms whose frames carry the file's own times (an Ogg page's granule, an
// MP4's sample table, a FLAC frame's sample number). The others' times are
// the library's count of the frames it read: a frame it cannot decode there
// may be one that never held sound (the tag frame of a second MP3 file
// joined on), and says nothing of sound missing.
constexpr const char* timedFormats = "ogg,mov,matroska,flac";
// WAV files joined one after another are read on into at most this many.
constexpr int maxJoinedFiles = 64;
// Forms the library knows that only name other files.
constexpr std::array<const char*, 2> listFormats{"concat", "hls"};
// The library reads the file through a buffer of this size.
constexpr int ioBufferBytes = 32 * 1024;

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
struct IoCloser {
    void operator()(AVIOContext* io) const {
        // The library may have replaced the buffer it was given.
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

// The tag of `dictionary` named `key` (any case), or empty.
std::string tag(const AVDictionary* dictionary, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

// "QuickTime / MOV"
std::string describedForm(const AVInputFormat& form) {
    return form.long_name != nullptr ? form.long_name : form.name;
}

// What the library may open besides the file it was given: nothing.
int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

// The file opened once, shared by every reader of it.
struct AudioFile::Source {
    std::string path;
    FileDescriptor fd;
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel != nullptr && cancel->load(); }
};

struct AudioFile::Impl {
    std::shared_ptr<const Source> source;
    // This reader's position in the file: from the start of the WAV file
    // being read where several are joined, otherwise of the file.
    long long segmentStart = 0;
    long long offset = 0;
    // The WAV files joined after the first, in order, as their headers lay
    // them out, and how many were read on into.
    std::vector<WavLayout> joinedFiles;
    int segmentsJoined = 0;
    double firstJoinAt = -1.0;
    // Declared before the demuxer, which reads through it, so that it goes
    // after it.
    std::unique_ptr<AVIOContext, IoCloser> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    std::unique_ptr<AVPacket, PacketCloser> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameCloser> frame{av_frame_alloc()};
    std::unique_ptr<FrameSamples> samples;
    int stream = -1;
    Info info;
    int rate = 0;
    // Samples in a frame of what read() gives.
    std::size_t outChannels = 1;
    long long framesOut = 0;
    int damaged = 0;
    double firstDamage = -1.0;
    // Sound missing inside the file is given out as silence of its length
    // before the frame after it, which waits in `held` meanwhile.
    std::unique_ptr<SoundTimeline> timeline;
    long long silenceOwed = 0;
    std::unique_ptr<AVFrame, FrameCloser> held{av_frame_alloc()};
    bool holding = false;
    std::string endedEarly;
    bool inputDone = false;
    bool flushed = false;

    static int readPacket(void* opaque, std::uint8_t* to, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);
    static int interrupted(void* opaque) {
        return static_cast<const Impl*>(opaque)->source->cancelled() ? 1 : 0;
    }

    // Opens the library's reading of the file; empty, or why not.
    std::string openFormat();
    std::string openDecoder();
    void describe();
    // Decodes more of the file into `samples`; false at its end.
    bool decodeMore();
    // At the end of a WAV file's sound: opens the WAV file joined after it
    // in its place, if there is one and it can be read.
    bool readOnIntoJoined();
    // Gives `frame` to the resampler, or first the silence of the sound
    // missing before it; false once the output has ended.
    bool deliverFrame(AVFrame& frame);
    // Gives `frame` to the resampler; false once the output has ended.
    bool pushFrame(AVFrame& frame);
    // Output frames of silence for the sound missing before `frame`.
    long long silenceBefore(const AVFrame& frame);
    void stopReading(std::string why) {
        endedEarly = std::move(why);
        inputDone = true;
    }
    std::size_t pendingFrames() const { return samples ? samples->available() : 0; }
    void noteDamage() {
        if (damaged++ == 0) {
            firstDamage = rate > 0 ? static_cast<double>(framesOut + pendingFrames()) / rate : 0.0;
        }
    }
};

int AudioFile::Impl::readPacket(void* opaque, std::uint8_t* to, int size) {
    auto& d = *static_cast<Impl*>(opaque);
    if (d.source->cancelled()) {
        return AVERROR_EXIT;
    }
    for (;;) {
        const ssize_t n = ::pread(d.source->fd.get(), to, static_cast<std::size_t>(size),
                                  static_cast<off_t>(d.segmentStart + d.offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return AVERROR(errno);
        }
        if (n == 0) {
            return AVERROR_EOF;
        }
        d.offset += n;
        return static_cast<int>(n);
    }
}

std::int64_t AudioFile::Impl::seek(void* opaque, std::int64_t offset, int whence) {
    auto& d = *static_cast<Impl*>(opaque);
    whence &= ~AVSEEK_FORCE;
    const long long fileSize = WavLayout::sizeOf(d.source->fd.get());
    if (fileSize < 0) {
        return AVERROR(errno);
    }
    const long long size = std::max(fileSize - d.segmentStart, 0LL);
    if (whence == AVSEEK_SIZE) {
        return size;
    }
    long long base = 0;
    if (whence == SEEK_CUR) {
        base = d.offset;
    } else if (whence == SEEK_END) {
        base = size;
    } else if (whence != SEEK_SET) {
        return AVERROR(EINVAL);
    }
    long long to = 0;
    if (base < 0 || __builtin_add_overflow(base, offset, &to) || to < 0) {
        return AVERROR(EINVAL);
    }
    d.offset = to;
    return to;
}

AudioFile::AudioFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

AudioFile::~AudioFile() = default;

std::string AudioFile::errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string AudioFile::Impl::openFormat() {
    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferBytes));
    if (buffer == nullptr) {
        return errorText(AVERROR(ENOMEM));
    }
    io.reset(avio_alloc_context(buffer, ioBufferBytes, 0, this, readPacket, nullptr, seek));
    if (!io) {
        av_free(buffer);
        return errorText(AVERROR(ENOMEM));
    }
    // The form is told before the library opens anything; one not allowed
    // is named.
    const AVInputFormat* form = nullptr;
    int error = av_probe_input_buffer2(io.get(), &form, source->path.c_str(), nullptr, 0, 0);
    if (error == AVERROR_INVALIDDATA || (error >= 0 && form == nullptr)) {
        return "its contents are in no audio form it knows";
    }
    if (error < 0) {
        return errorText(error);
    }
    if (av_match_list(form->name, allowedFormats, ',') <= 0) {
        const std::string name = describedForm(*form);
        for (const char* list : listFormats) {
            if (std::strcmp(form->name, list) == 0) {
                return "it is a list naming other files (" + name + "), not sound";
            }
        }
        return "it is " + name + ", not one of the audio forms it reads";
    }
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        return errorText(AVERROR(ENOMEM));
    }
    context->pb = io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->interrupt_callback = {interrupted, this};
    context->io_open = refuseOpen;
    context->format_whitelist = av_strdup(allowedFormats);
    // A context the library could not open it frees itself.
    error = avformat_open_input(&context, source->path.c_str(), form, nullptr);
    if (error >= 0) {
        format.reset(context);
        error = avformat_find_stream_info(context, nullptr);
    }
    if (error == AVERROR_INVALIDDATA || error == AVERROR_EOF) {
        return "it is damaged or cut short (" + describedForm(*form) + ")";
    }
    return error < 0 ? errorText(error) : std::string();
}

std::string AudioFile::Impl::openDecoder() {
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr) {
        return stream == AVERROR_DECODER_NOT_FOUND ? "its sound is in a form it cannot decode"
                                                   : "it holds no sound";
    }
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec ||
        avcodec_parameters_to_context(codec.get(), format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return "its " + std::string(decoder->name) + " sound cannot be decoded";
    }
    info.channels = codec->ch_layout.nb_channels;
    info.sampleRate = codec->sample_rate;
    if (info.channels <= 0 || info.sampleRate <= 0) {
        return "it does not say its channels or sample rate";
    }
    info.format = std::string(decoder->name) + " in " + format->iformat->name;
    return {};
}

void AudioFile::Impl::describe() {
    const AVStream* s = format->streams[stream];
    struct stat status {};
    if (::fstat(source->fd.get(), &status) == 0) {
        info.modifiedSeconds = static_cast<double>(status.st_mtim.tv_sec) +
                               static_cast<double>(status.st_mtim.tv_nsec) * 1e-9;
    }
    if (format->duration > 0) {
        info.durationSeconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    } else if (s->duration > 0) {
        info.durationSeconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    }
    const bool wav = std::strcmp(format->iformat->name, "wav") == 0;
    if (wav) {
        const WavLayout layout(source->fd.get(), 0);
        info.announcedSeconds = layout.announcedSeconds();
        info.unreadSeconds = layout.heldAfterSeconds();
        info.joinedAfter = layout.joined();
        for (long long at = layout.joinedAt();
             at >= 0 && joinedFiles.size() < static_cast<std::size_t>(maxJoinedFiles);
             at = joinedFiles.back().joinedAt()) {
            joinedFiles.emplace_back(source->fd.get(), at);
            info.joinedSeconds += joinedFiles.back().soundSeconds();
        }
    }
    for (const AVDictionary* dictionary : {format->metadata, s->metadata}) {
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
}

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path, std::string& reason,
                                           const std::atomic<bool>* cancel) {
    auto source = std::make_shared<Source>();
    source->path = path;
    source->cancel = cancel;
    std::string why;
    source->fd = openRegularDescriptor(path, &why);
    if (!source->fd) {
        reason = why.empty() ? std::strerror(ENOENT) : why;
        return nullptr;
    }
    return openSource(std::move(source), reason);
}

std::unique_ptr<AudioFile> AudioFile::again(std::string& reason) const {
    return openSource(impl_->source, reason);
}

std::unique_ptr<AudioFile> AudioFile::openSource(std::shared_ptr<const Source> source,
                                                 std::string& reason) {
    // The program says what went wrong in its own words.
    av_log_set_level(AV_LOG_QUIET);
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    reason = impl->openFormat();
    if (reason.empty()) {
        reason = impl->openDecoder();
    }
    if (!reason.empty()) {
        return nullptr;
    }
    impl->describe();
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
    d.rate = rate;
    d.outChannels = static_cast<std::size_t>(channel < 0 ? d.info.channels : 1);
    d.samples = std::make_unique<FrameSamples>(channel, d.info.channels, rate);
    if (av_match_list(d.format->iformat->name, timedFormats, ',') > 0) {
        d.timeline = std::make_unique<SoundTimeline>(d.info.durationSeconds);
    }
    return {};
}

bool AudioFile::Impl::decodeMore() {
    if (!samples->why().empty()) {
        return false;
    }
    // A stop is seen at once, not only when the library next reads.
    if (source->cancelled()) {
        stopReading(errorText(AVERROR_EXIT));
        return false;
    }
    if (holding) {
        holding = false;
        return pushFrame(*held);
    }
    // A joined file that could not be opened left no decoder.
    if (!codec) {
        return false;
    }
    // A decoder that keeps failing on one packet is left after a few tries.
    int failures = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec.get(), frame.get());
        if (received == 0) {
            return deliverFrame(*frame);
        }
        if (received == AVERROR_EOF) {
            if (!flushed && readOnIntoJoined()) {
                continue;
            }
            if (!flushed) {
                // What the resampler still holds.
                flushed = true;
                samples->flush();
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

bool AudioFile::Impl::readOnIntoJoined() {
    const auto next = static_cast<std::size_t>(segmentsJoined);
    if (next >= joinedFiles.size() || !endedEarly.empty()) {
        return false;
    }
    const WavLayout& layout = joinedFiles[next];
    const Info kept = info;
    codec.reset();
    format.reset();
    io.reset();
    segmentStart = layout.start();
    offset = 0;
    std::string why = openFormat();
    if (why.empty() && std::strcmp(format->iformat->name, "wav") != 0) {
        why = "not a WAV file";
    }
    if (why.empty()) {
        why = openDecoder();
    }
    info = kept;
    if (!why.empty()) {
        // What is left unread the note on what follows the sound says.
        codec.reset();
        return false;
    }
    if (segmentsJoined++ == 0) {
        firstJoinAt = static_cast<double>(framesOut + pendingFrames()) / rate;
    }
    info.unreadSeconds = layout.heldAfterSeconds();
    info.joinedAfter = layout.joined();
    inputDone = false;
    return true;
}

long long AudioFile::Impl::silenceBefore(const AVFrame& frame) {
    if (!timeline || frame.sample_rate <= 0 || frame.nb_samples <= 0) {
        return 0;
    }
    const double start = frame.best_effort_timestamp == AV_NOPTS_VALUE
                             ? std::nan("")
                             : static_cast<double>(frame.best_effort_timestamp) *
                                   av_q2d(format->streams[stream]->time_base);
    const double length = static_cast<double>(frame.nb_samples) / frame.sample_rate;
    const double soFar = static_cast<double>(framesOut + pendingFrames()) / rate;
    return std::llround(timeline->missingBefore(start, length, soFar) * rate);
}

bool AudioFile::Impl::deliverFrame(AVFrame& frame) {
    const long long silence = silenceBefore(frame);
    if (silence > 0) {
        // What the resampler holds of the sound before the gap goes out
        // before the silence; a new one takes the frames after.
        samples->flush();
        silenceOwed = silence;
        av_frame_move_ref(held.get(), &frame);
        holding = true;
        return true;
    }
    return pushFrame(frame);
}

bool AudioFile::Impl::pushFrame(AVFrame& frame) {
    const bool taken = samples->push(frame);
    av_frame_unref(&frame);
    if (!taken) {
        stopReading(samples->why());
        return pendingFrames() > 0;
    }
    return true;
}

std::size_t AudioFile::read(std::int16_t* out, std::size_t frames) {
    Impl& d = *impl_;
    if (!d.samples) {
        return 0;
    }
    std::size_t done = 0;
    while (done < frames) {
        if (d.pendingFrames() == 0 && d.silenceOwed > 0) {
            const auto n = static_cast<std::size_t>(
                std::min<long long>(d.silenceOwed, static_cast<long long>(frames - done)));
            std::fill_n(out + done * d.outChannels, n * d.outChannels, std::int16_t{0});
            d.silenceOwed -= static_cast<long long>(n);
            done += n;
            continue;
        }
        if (d.pendingFrames() == 0 && !d.decodeMore()) {
            break;
        }
        done += d.samples->take(out + done * d.outChannels, frames - done);
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

int AudioFile::joinedFilesRead() const {
    return impl_->segmentsJoined;
}

double AudioFile::firstJoinSeconds() const {
    return impl_->firstJoinAt;
}

AudioFile::MissingSound AudioFile::missingSound() const {
    const SoundTimeline* t = impl_->timeline.get();
    if (t == nullptr) {
        return {};
    }
    return {t->missingSeconds(), t->missingStretches(), t->firstMissingAt(), t->jumpsNotKept(),
            t->largestJumpNotKept()};
}

const std::string& AudioFile::endedEarly() const {
    return impl_->endedEarly;
}

}  // namespace platform
