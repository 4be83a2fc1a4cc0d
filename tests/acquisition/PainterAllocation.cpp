// The capture worker must not allocate per buffer. This program counts every
// allocation made on the worker thread while a simulated recording runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "records/RecordingFacts.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/ScratchDirectory.h"

namespace {

thread_local bool onWorker = false;
std::atomic<long long> workerAllocations{0};

void* allocate(std::size_t size) {
    if (onWorker) {
        workerAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t align) {
    if (onWorker) {
        workerAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    const auto a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return allocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return allocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

using namespace std::chrono_literals;

// A painter whose worker thread marks itself for the counter.
class CountedPainter final : public acquisition::Painter {
public:
    using Painter::Painter;

protected:
    void onThreadStart() override { onWorker = true; }
};

using namespace platform;

// The simulator, but every fifth buffer comes after one buffer's worth of
// sound the device had to drop.
class DroppingInput final : public WaveInput {
public:
    explicit DroppingInput(WaveInput& inner) : inner_(inner) {}
    unsigned deviceCount() const override { return inner_.deviceCount(); }
    MMResult capabilities(unsigned d, std::uint32_t& f) const override {
        return inner_.capabilities(d, f);
    }
    MMResult query(unsigned d, const WaveFormat& f) const override { return inner_.query(d, f); }
    MMResult open(std::unique_ptr<WaveInStream>& stream, unsigned d, const WaveFormat& f,
                  WaveSignal& s) override {
        std::unique_ptr<WaveInStream> opened;
        const MMResult result = inner_.open(opened, d, f, s);
        stream = result == MMSYSERR_NOERROR ? std::make_unique<Stream>(std::move(opened)) : nullptr;
        return result;
    }
    std::string errorText(MMResult c, std::size_t n) const override {
        return inner_.errorText(c, n);
    }

private:
    class Stream final : public WaveInStream {
    public:
        explicit Stream(std::unique_ptr<WaveInStream> inner) : inner_(std::move(inner)) {}
        MMResult prepare(WaveHeader& h) override { return inner_->prepare(h); }
        MMResult unprepare(WaveHeader& h) override { return inner_->unprepare(h); }
        MMResult addBuffer(WaveHeader& h) override {
            h.droppedBefore = ++added_ % 5 == 0 ? h.bufferLength : 0;
            return inner_->addBuffer(h);
        }
        MMResult start() override { return inner_->start(); }
        MMResult reset() override { return inner_->reset(); }
        MMResult close() override { return inner_->close(); }

    private:
        std::unique_ptr<WaveInStream> inner_;
        long long added_ = 0;
    };
    WaveInput& inner_;
};

// Also when the device drops sound: the facts' lists grow within what was
// reserved, and the demodulator starts afresh after every gap.
TEST(PainterAllocation, NothingIsAllocatedPerBuffer) {
    testsupport::ScratchDirectory scratch;
    acquisition::SimulatorSettings settings;
    settings.speed = 0.0;
    acquisition::FrontEndSimulator sound(settings);
    DroppingInput simulator(sound);
    std::vector<std::unique_ptr<render::EcgPane>> panes;
    acquisition::Painter::PaneList list{};
    for (int i = 0; i < acquisition::Painter::paneCount; ++i) {
        panes.push_back(std::make_unique<render::EcgPane>(i, 958, 124, platform::Rect{}));
        list[static_cast<std::size_t>(i)] = panes.back().get();
    }
    CountedPainter painter(simulator, nullptr, list, 4096, 199680, 4096);
    painter.resumeThread();
    ASSERT_TRUE(painter.startCapture());

    const auto waitFor = [&](long long count) {
        const auto end = std::chrono::steady_clock::now() + 120s;
        while (painter.processedBuffers() < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        return painter.processedBuffers() >= count;
    };
    // The first buffers open the working file; from then on nothing may allocate,
    // across pane moves and the wrap to pane 0 included.
    ASSERT_TRUE(waitFor(50));
    const long long before = workerAllocations.load();
    const long long from = painter.processedBuffers();
    ASSERT_TRUE(waitFor(from + 2500));
    const long long allocations = workerAllocations.load() - before;
    const long long buffers = painter.processedBuffers() - from;
    EXPECT_TRUE(painter.soundLost());
    painter.stopCapture();
    painter.stopThread();
    std::cout << allocations << " allocations on the worker over " << buffers << " buffers\n";
    EXPECT_EQ(allocations, 0);
    EXPECT_GE(records::readFacts("REC.txt").facts.droppedAfterLines.size(), 300u);
}

}  // namespace
