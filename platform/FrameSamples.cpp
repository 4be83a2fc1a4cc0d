#include "FrameSamples.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <vector>

namespace platform {

namespace {

struct ResamplerCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// A resampler drained at the end gives what it holds in a few calls; one
// that keeps giving is left after this many.
constexpr int maxFlushCalls = 16;

}  // namespace

struct FrameSamples::Impl {
    // The channels delivered, from 0, in the order they are interleaved.
    std::vector<int> wanted;
    int rate = 0;
    // The resampler and the parameters of the frames it was set up for.
    std::unique_ptr<SwrContext, ResamplerCloser> resampler;
    int inChannels = 0;
    int inRate = 0;
    int inFormat = AV_SAMPLE_FMT_NONE;
    // What the resampler gives, every channel of the stretch, planar.
    std::vector<std::vector<std::int16_t>> resampled;
    // The channels delivered, planar, from `first` on not yet taken.
    std::vector<std::vector<std::int16_t>> pending;
    std::size_t first = 0;
    std::string why;

    bool sameParameters(const AVFrame& frame) const {
        return resampler && frame.ch_layout.nb_channels == inChannels &&
               frame.sample_rate == inRate && frame.format == inFormat;
    }
    bool setUp(const AVFrame& frame);
    // Resamples `frames` frames of `planes` (null: drains the resampler);
    // how many came out.
    int convert(const std::uint8_t* const* planes, int frames);
    void drain();
    void stop(std::string reason) {
        why = std::move(reason);
        resampler.reset();
    }
};

bool FrameSamples::Impl::setUp(const AVFrame& frame) {
    const int channels = frame.ch_layout.nb_channels;
    if (channels <= 0 || frame.sample_rate <= 0 ||
        av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format)) <= 0) {
        stop("from there on its sound does not say its channels, rate or sample format");
        return false;
    }
    if (frame.sample_rate < lowestRate) {
        stop("from there on its sample rate is " + std::to_string(frame.sample_rate) +
             " Hz, too low for the tone");
        return false;
    }
    if (channels > 1) {
        for (const int channel : wanted) {
            if (channel >= channels) {
                stop("from there on it has " + std::to_string(channels) +
                     " channels, without channel " + std::to_string(channel + 1));
                return false;
            }
        }
    }
    // The channels are resampled side by side, never mixed: the layout
    // only has to say how many there are.
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    SwrContext* made = nullptr;
    const int error = swr_alloc_set_opts2(&made, &layout, AV_SAMPLE_FMT_S16P, rate, &layout,
                                          static_cast<AVSampleFormat>(frame.format),
                                          frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    resampler.reset(made);
    if (error < 0 || made == nullptr || swr_init(made) < 0) {
        stop("from there on its sound cannot be resampled");
        return false;
    }
    inChannels = channels;
    inRate = frame.sample_rate;
    inFormat = frame.format;
    resampled.resize(static_cast<std::size_t>(channels));
    return true;
}

int FrameSamples::Impl::convert(const std::uint8_t* const* planes, int frames) {
    const int room = swr_get_out_samples(resampler.get(), frames);
    if (room <= 0) {
        return 0;
    }
    std::vector<std::uint8_t*> out(resampled.size());
    for (std::size_t c = 0; c < resampled.size(); ++c) {
        resampled[c].resize(static_cast<std::size_t>(room));
        out[c] = reinterpret_cast<std::uint8_t*>(resampled[c].data());
    }
    const int made = swr_convert(resampler.get(), out.data(), room,
                                 const_cast<const std::uint8_t**>(planes), frames);
    if (made <= 0) {
        return 0;
    }
    // What was taken goes first, so the vectors hold no more than a frame's
    // worth and what it resampled to.
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        std::vector<std::int16_t>& to = pending[k];
        to.erase(to.begin(), to.begin() + static_cast<std::ptrdiff_t>(first));
        const std::vector<std::int16_t>& from =
            resampled[inChannels == 1 ? 0 : static_cast<std::size_t>(wanted[k])];
        to.insert(to.end(), from.begin(), from.begin() + made);
    }
    first = 0;
    return made;
}

void FrameSamples::Impl::drain() {
    if (!resampler) {
        return;
    }
    for (int calls = 0; calls < maxFlushCalls && convert(nullptr, 0) > 0; ++calls) {
    }
    resampler.reset();
}

FrameSamples::FrameSamples(int channel, int channels, int rate) : impl_(std::make_unique<Impl>()) {
    if (channel >= 0) {
        impl_->wanted.push_back(channel);
    } else {
        for (int c = 0; c < channels; ++c) {
            impl_->wanted.push_back(c);
        }
    }
    impl_->rate = rate;
    impl_->pending.resize(impl_->wanted.size());
}

FrameSamples::~FrameSamples() = default;

bool FrameSamples::push(const AVFrame& frame) {
    Impl& d = *impl_;
    if (!d.why.empty()) {
        return false;
    }
    if (frame.nb_samples <= 0) {
        return true;
    }
    if (!d.sameParameters(frame)) {
        d.drain();
        if (!d.setUp(frame)) {
            return false;
        }
    }
    d.convert(frame.extended_data, frame.nb_samples);
    return true;
}

void FrameSamples::flush() {
    impl_->drain();
}

std::size_t FrameSamples::available() const {
    return impl_->pending.empty() ? 0 : impl_->pending[0].size() - impl_->first;
}

std::size_t FrameSamples::take(std::int16_t* out, std::size_t frames) {
    Impl& d = *impl_;
    const std::size_t n = std::min(frames, available());
    const std::size_t channels = d.pending.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            out[i * channels + c] = d.pending[c][d.first + i];
        }
    }
    d.first += n;
    return n;
}

const std::string& FrameSamples::why() const {
    return impl_->why;
}

}  // namespace platform
