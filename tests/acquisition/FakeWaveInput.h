#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/WaveInput.h"

namespace acquisition {

// A wave-input device in memory. It records every call made on it, in order,
// and keeps what a real device keeps: which headers are prepared and which
// are queued, in queue order. The test plays the device's part by completing
// the queued buffers one by one.
class FakeWaveInput final : public platform::WaveInput {
public:
    struct Call {
        std::string what;
        const platform::WaveHeader* header = nullptr;
    };

    // What the device answers.
    platform::MMResult queryResult = platform::MMSYSERR_NOERROR;
    platform::MMResult openResult = platform::MMSYSERR_NOERROR;
    std::string errorTextFull = "The device reported an error.";

    // What happened to it.
    mutable std::vector<Call> calls;
    mutable platform::WaveFormat queriedFormat;
    platform::WaveFormat openedFormat;
    mutable std::size_t errorTextMaxChars = 0;
    std::deque<platform::WaveHeader*> queue;
    std::set<const platform::WaveHeader*> prepared;
    platform::WaveSignal* signal = nullptr;
    bool isOpen = false;
    bool started = false;
    std::size_t preparedAtClose = 0;
    bool destroyedWhileOpen = false;

    unsigned deviceCount() const override { return 1; }
    platform::MMResult capabilities(unsigned, std::uint32_t& formats) const override {
        formats = platform::WAVE_FORMAT_ALL;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMResult query(unsigned device, const platform::WaveFormat& format) const override {
        calls.push_back({"query " + std::to_string(device)});
        queriedFormat = format;
        return queryResult;
    }
    platform::MMResult open(std::unique_ptr<platform::WaveInStream>& stream, unsigned device,
                            const platform::WaveFormat& format,
                            platform::WaveSignal& wake) override {
        calls.push_back({"open " + std::to_string(device)});
        if (openResult != platform::MMSYSERR_NOERROR) {
            return openResult;
        }
        openedFormat = format;
        signal = &wake;
        isOpen = true;
        stream = std::make_unique<Stream>(*this);
        return platform::MMSYSERR_NOERROR;
    }
    // Honours the interface: at most maxChars - 1 characters.
    std::string errorText(platform::MMResult, std::size_t maxChars) const override {
        calls.push_back({"errorText"});
        errorTextMaxChars = maxChars;
        return errorTextFull.substr(0, maxChars == 0 ? 0 : maxChars - 1);
    }

    // The device fills the buffer at the head of its queue with `fill`, marks it
    // done and signals. Returns it, or null when nothing is queued.
    platform::WaveHeader* completeNext(char fill) {
        if (queue.empty()) {
            return nullptr;
        }
        platform::WaveHeader* header = queue.front();
        queue.pop_front();
        std::memset(header->data, fill, header->bufferLength);
        header->bytesRecorded = header->bufferLength;
        header->flags.store((header->flags.load() | platform::WHDR_DONE) & ~platform::WHDR_INQUEUE);
        signal->set();
        return header;
    }

    // The calls whose name starts with `prefix`, in order.
    std::vector<const platform::WaveHeader*> headersOf(const std::string& prefix) const {
        std::vector<const platform::WaveHeader*> result;
        for (const Call& call : calls) {
            if (call.what == prefix) {
                result.push_back(call.header);
            }
        }
        return result;
    }

    bool called(const std::string& what) const {
        return std::any_of(calls.begin(), calls.end(),
                           [&](const Call& call) { return call.what == what; });
    }

private:
    class Stream final : public platform::WaveInStream {
    public:
        explicit Stream(FakeWaveInput& device) : device_(device) {}
        ~Stream() override {
            if (device_.isOpen) {
                device_.destroyedWhileOpen = true;
            }
        }

        platform::MMResult prepare(platform::WaveHeader& header) override {
            device_.calls.push_back({"prepare", &header});
            header.flags.store(header.flags.load() | platform::WHDR_PREPARED);
            device_.prepared.insert(&header);
            return platform::MMSYSERR_NOERROR;
        }
        platform::MMResult unprepare(platform::WaveHeader& header) override {
            device_.calls.push_back({"unprepare", &header});
            if ((header.flags.load() & platform::WHDR_INQUEUE) != 0) {
                return platform::WAVERR_STILLPLAYING;
            }
            header.flags.store(header.flags.load() & ~platform::WHDR_PREPARED);
            device_.prepared.erase(&header);
            return platform::MMSYSERR_NOERROR;
        }
        platform::MMResult addBuffer(platform::WaveHeader& header) override {
            device_.calls.push_back({"add", &header});
            if (device_.prepared.count(&header) == 0) {
                return platform::WAVERR_UNPREPARED;
            }
            header.flags.store((header.flags.load() | platform::WHDR_INQUEUE) &
                               ~platform::WHDR_DONE);
            device_.queue.push_back(&header);
            return platform::MMSYSERR_NOERROR;
        }
        platform::MMResult start() override {
            device_.calls.push_back({"start"});
            device_.started = true;
            return platform::MMSYSERR_NOERROR;
        }
        platform::MMResult reset() override {
            device_.calls.push_back({"reset"});
            for (platform::WaveHeader* header : device_.queue) {
                header->flags.store((header->flags.load() | platform::WHDR_DONE) &
                                    ~platform::WHDR_INQUEUE);
            }
            device_.queue.clear();
            device_.started = false;
            return platform::MMSYSERR_NOERROR;
        }
        platform::MMResult close() override {
            device_.calls.push_back({"close"});
            if (!device_.queue.empty()) {
                return platform::WAVERR_STILLPLAYING;
            }
            device_.preparedAtClose = device_.prepared.size();
            device_.isOpen = false;
            return platform::MMSYSERR_NOERROR;
        }

    private:
        FakeWaveInput& device_;
    };
};

}  // namespace acquisition
