// An ALSA capture device for tests whose stream goes away in the middle of a
// recording, loaded by alsa-lib as an external I/O plugin:
//
//   pcm_type.trelmont_ending { lib "/path/to/libasound_module_pcm_trelmont_ending.so" }
//   pcm.!default { type trelmont_ending  frames 40960  end "unplug"  tone 2000 }
//
// It plays a sine of `tone` Hz at the real pace of the rate it was opened with
// and delivers `frames` frames. Then, with end "unplug", it behaves like a USB
// sound card pulled out: every call fails with ENODEV, poll reports POLLERR
// and the state is DISCONNECTED. With end "stall" it behaves like a sound
// server that went away without a word: no further frame arrives and poll
// stays quiet, but nothing fails.
//
// With `overrun AT late N` the reader falls behind once, as when the whole
// program was stopped: from frame AT of its clock nothing more is handed
// over while the clock runs on for N frames; then the hardware position
// fails with EPIPE, as that of a card that overran does, and after the reader restarts
// the stream the frames come on from where the clock stands. The frames
// lost that way, the frame they start at and the clock are written to the
// file named by `report` ("lost L from F clock C") at each start and stop.

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <numbers>
#include <string>

namespace {

enum class Ending { unplug, stall };

struct EndingPcm {
    snd_pcm_ioplug_t io{};
    int timer = -1;
    long long framesToDeliver = 0;
    Ending ending = Ending::unplug;
    double tone = 2000.0;
    // Set by start(); frames count on from `base` at the opened rate.
    timespec started{};
    long long base = 0;
    bool running = false;
    bool ended = false;
    long long delivered = 0;  // frames the device has delivered so far
    long long origin = 0;     // `delivered` at the last prepare, where ALSA's pointer starts
    long long written = 0;    // frames transfer() has filled, for the phase
    // The overrun: from `overrunAt` the reader sees nothing for `lateFrames`
    // frames, then fails with EPIPE; `lostFrom` is where its reading stopped
    // until the restart, `lost` what that cost.
    enum class Overrun { none, pending, late, restarting, done };
    Overrun overrun = Overrun::none;
    long long overrunAt = 0;
    long long lateFrames = 0;
    long long lostFrom = 0;
    long long lost = 0;
    std::string report;
};

EndingPcm& self(snd_pcm_ioplug_t* io) {
    return *static_cast<EndingPcm*>(io->private_data);
}

double secondsSince(const timespec& start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) +
           static_cast<double>(now.tv_nsec - start.tv_nsec) * 1e-9;
}

// The position the hardware would have reached by now, bounded by the end.
long long framesByNow(const EndingPcm& pcm) {
    if (!pcm.running) {
        return pcm.delivered;
    }
    const long long reached =
        pcm.base + static_cast<long long>(secondsSince(pcm.started) * pcm.io.rate);
    return reached < pcm.framesToDeliver ? reached : pcm.framesToDeliver;
}

bool unplugged(const EndingPcm& pcm) {
    return pcm.ended && pcm.ending == Ending::unplug;
}

void armTimer(EndingPcm& pcm, bool on) {
    itimerspec timing{};
    if (on) {
        const long long period =
            1'000'000'000LL * static_cast<long long>(pcm.io.period_size) / pcm.io.rate;
        timing.it_interval.tv_sec = period / 1'000'000'000LL;
        timing.it_interval.tv_nsec = period % 1'000'000'000LL;
        timing.it_value = timing.it_interval;
    }
    timerfd_settime(pcm.timer, 0, &timing, nullptr);
}

void writeReport(const EndingPcm& pcm) {
    if (!pcm.report.empty()) {
        std::ofstream(pcm.report) << "lost " << pcm.lost << " from " << pcm.lostFrom << " clock "
                                  << pcm.delivered << "\n";
    }
}

// Where the reader stands: the clock, except while it is late.
long long readable(EndingPcm& pcm) {
    if (pcm.overrun == EndingPcm::Overrun::pending && pcm.delivered >= pcm.overrunAt) {
        pcm.overrun = EndingPcm::Overrun::late;
    }
    if (pcm.overrun == EndingPcm::Overrun::late && pcm.delivered < pcm.overrunAt + pcm.lateFrames) {
        return pcm.overrunAt;
    }
    return pcm.delivered;
}

bool lateOver(const EndingPcm& pcm) {
    return pcm.overrun == EndingPcm::Overrun::late &&
           pcm.delivered >= pcm.overrunAt + pcm.lateFrames;
}

void noteEnd(EndingPcm& pcm) {
    if (pcm.ended || pcm.delivered < pcm.framesToDeliver) {
        return;
    }
    pcm.ended = true;
    if (pcm.ending == Ending::unplug) {
        snd_pcm_ioplug_set_state(&pcm.io, SND_PCM_STATE_DISCONNECTED);
    } else {
        // Nothing more will come: the timer stops waking anyone.
        armTimer(pcm, false);
    }
}

int start(snd_pcm_ioplug_t* io) {
    EndingPcm& pcm = self(io);
    if (unplugged(pcm)) {
        return -ENODEV;
    }
    if (pcm.overrun == EndingPcm::Overrun::restarting) {
        // A card's clock runs on through an overrun: what it captured until
        // now is lost, and the reader starts from here.
        pcm.delivered = framesByNow(pcm);
        pcm.origin = pcm.delivered;
        pcm.lost = pcm.delivered - pcm.lostFrom;
        pcm.overrun = EndingPcm::Overrun::done;
        writeReport(pcm);
        armTimer(pcm, !pcm.ended);
        return 0;
    }
    clock_gettime(CLOCK_MONOTONIC, &pcm.started);
    // A restart goes on from the frames already delivered.
    pcm.base = pcm.delivered;
    pcm.running = true;
    armTimer(pcm, !pcm.ended);
    return 0;
}

int stop(snd_pcm_ioplug_t* io) {
    EndingPcm& pcm = self(io);
    if (pcm.overrun == EndingPcm::Overrun::restarting) {
        // Stopped to be restarted after the overrun: the clock runs on.
        armTimer(pcm, false);
        return 0;
    }
    writeReport(pcm);
    pcm.delivered = framesByNow(pcm);
    pcm.running = false;
    armTimer(pcm, false);
    return unplugged(pcm) ? -ENODEV : 0;
}

int prepare(snd_pcm_ioplug_t* io) {
    EndingPcm& pcm = self(io);
    if (unplugged(pcm)) {
        return -ENODEV;
    }
    pcm.origin = pcm.delivered;
    return 0;
}

snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io) {
    EndingPcm& pcm = self(io);
    if (unplugged(pcm)) {
        return -ENODEV;
    }
    if (pcm.overrun != EndingPcm::Overrun::restarting) {
        pcm.delivered = framesByNow(pcm);
    }
    noteEnd(pcm);
    if (lateOver(pcm)) {
        // The reader comes back too late: what it had not read is gone.
        pcm.lostFrom = pcm.origin + static_cast<long long>(io->appl_ptr);
        pcm.overrun = EndingPcm::Overrun::restarting;
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
        return -EPIPE;
    }
    return static_cast<snd_pcm_sframes_t>((readable(pcm) - pcm.origin) %
                                          static_cast<long long>(io->buffer_size));
}

template <typename Sample>
void fillTone(EndingPcm& pcm, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
              snd_pcm_uframes_t size) {
    for (snd_pcm_uframes_t i = 0; i < size; ++i) {
        const double t = static_cast<double>(pcm.written + static_cast<long long>(i)) /
                         static_cast<double>(pcm.io.rate);
        const double s = std::sin(2.0 * std::numbers::pi * pcm.tone * t);
        for (unsigned int c = 0; c < pcm.io.channels; ++c) {
            const snd_pcm_channel_area_t& area = areas[c];
            auto* base =
                static_cast<char*>(area.addr) + area.first / 8 + (offset + i) * (area.step / 8);
            Sample value{};
            if constexpr (sizeof(Sample) == 1) {
                value = static_cast<Sample>(128 + std::lround(64.0 * s));
            } else {
                value = static_cast<Sample>(std::lround(16384.0 * s));
            }
            std::memcpy(base, &value, sizeof value);
        }
    }
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    EndingPcm& pcm = self(io);
    if (unplugged(pcm)) {
        return -ENODEV;
    }
    if (io->format == SND_PCM_FORMAT_U8) {
        fillTone<std::uint8_t>(pcm, areas, offset, size);
    } else {
        fillTone<std::int16_t>(pcm, areas, offset, size);
    }
    pcm.written += static_cast<long long>(size);
    return static_cast<snd_pcm_sframes_t>(size);
}

int pollRevents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds,
                unsigned short* revents) {
    EndingPcm& pcm = self(io);
    std::uint64_t expirations = 0;
    if (nfds > 0 && (pfd[0].revents & POLLIN) != 0) {
        (void)::read(pcm.timer, &expirations, sizeof expirations);
    }
    if (pcm.overrun == EndingPcm::Overrun::late) {
        pcm.delivered = framesByNow(pcm);
    }
    if (unplugged(pcm)) {
        *revents = POLLERR;
    } else if (pcm.ended || (pcm.overrun == EndingPcm::Overrun::late && !lateOver(pcm))) {
        *revents = 0;
    } else {
        *revents = expirations > 0 ? POLLIN : 0;
    }
    return 0;
}

int close(snd_pcm_ioplug_t* io) {
    EndingPcm* pcm = &self(io);
    ::close(pcm->timer);
    delete pcm;
    return 0;
}

const snd_pcm_ioplug_callback_t callbacks = [] {
    snd_pcm_ioplug_callback_t c{};
    c.start = start;
    c.stop = stop;
    c.prepare = prepare;
    c.pointer = pointer;
    c.transfer = transfer;
    c.poll_revents = pollRevents;
    c.close = close;
    return c;
}();

int constrain(snd_pcm_ioplug_t* io) {
    static const unsigned int accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED,
                                            SND_PCM_ACCESS_MMAP_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE};
    int error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 2, accesses);
    if (error == 0) {
        error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 2, formats);
    }
    if (error == 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2);
    }
    if (error == 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000, 200000);
    }
    if (error == 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 256, 1 << 20);
    }
    if (error == 0) {
        error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    }
    return error;
}

// Reads the plugin's own settings; unknown ones are refused like ALSA does.
int readSettings(EndingPcm& pcm, snd_config_t* conf) {
    snd_config_iterator_t i = nullptr;
    snd_config_iterator_t next = nullptr;
    snd_config_for_each(i, next, conf) {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(entry, &id) < 0) {
            continue;
        }
        if (std::strcmp(id, "comment") == 0 || std::strcmp(id, "type") == 0 ||
            std::strcmp(id, "hint") == 0) {
            continue;
        }
        long number = 0;
        const char* text = nullptr;
        if (std::strcmp(id, "frames") == 0 && snd_config_get_integer(entry, &number) == 0) {
            pcm.framesToDeliver = number;
        } else if (std::strcmp(id, "overrun") == 0 && snd_config_get_integer(entry, &number) == 0) {
            pcm.overrunAt = number;
            pcm.overrun = EndingPcm::Overrun::pending;
        } else if (std::strcmp(id, "late") == 0 && snd_config_get_integer(entry, &number) == 0) {
            pcm.lateFrames = number;
        } else if (std::strcmp(id, "report") == 0 && snd_config_get_string(entry, &text) == 0) {
            pcm.report = text;
        } else if (std::strcmp(id, "tone") == 0 && snd_config_get_integer(entry, &number) == 0) {
            pcm.tone = static_cast<double>(number);
        } else if (std::strcmp(id, "end") == 0 && snd_config_get_string(entry, &text) == 0 &&
                   (std::strcmp(text, "unplug") == 0 || std::strcmp(text, "stall") == 0)) {
            pcm.ending = std::strcmp(text, "unplug") == 0 ? Ending::unplug : Ending::stall;
        } else {
            SNDERR("Unknown or bad field %s", id);
            return -EINVAL;
        }
    }
    return 0;
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(trelmont_ending) {
    (void)root;
    if (stream != SND_PCM_STREAM_CAPTURE) {
        return -EINVAL;
    }
    auto* pcm = new EndingPcm;
    int error = readSettings(*pcm, conf);
    if (error == 0) {
        pcm->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        error = pcm->timer < 0 ? -errno : 0;
    }
    if (error < 0) {
        if (pcm->timer >= 0) {
            ::close(pcm->timer);
        }
        delete pcm;
        return error;
    }
    pcm->io.version = SND_PCM_IOPLUG_VERSION;
    pcm->io.name = "trelmont test capture that ends";
    pcm->io.callback = &callbacks;
    pcm->io.private_data = pcm;
    pcm->io.poll_fd = pcm->timer;
    pcm->io.poll_events = POLLIN;
    pcm->io.mmap_rw = 0;
    error = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
    if (error < 0) {
        ::close(pcm->timer);
        delete pcm;
        return error;
    }
    error = constrain(&pcm->io);
    if (error < 0) {
        snd_pcm_ioplug_delete(&pcm->io);
        return error;
    }
    *pcmp = pcm->io.pcm;
    return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(trelmont_ending)
}
