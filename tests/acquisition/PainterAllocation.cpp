// The capture worker must not allocate per buffer. This program counts every
// allocation made on the worker thread while a simulated recording runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

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

TEST(PainterAllocation, NothingIsAllocatedPerBuffer) {
    testsupport::ScratchDirectory scratch;
    acquisition::SimulatorSettings settings;
    settings.speed = 0.0;
    acquisition::FrontEndSimulator simulator(settings);
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
    // across pane moves and the wrap to pane 0 included, nor while the tone
    // is lost and its stretches are marked under the trace, at once back to
    // their start or line by line.
    ASSERT_TRUE(waitFor(50));
    const long long before = workerAllocations.load();
    const long long from = painter.processedBuffers();
    const std::pair<long long, long long> silences[] = {
        {300, 380}, {900, 912}, {920, 932}, {1500, 1620}};
    for (const auto& [off, on] : silences) {
        ASSERT_TRUE(waitFor(from + off));
        simulator.setToneGain(0.0);
        ASSERT_TRUE(waitFor(from + on));
        simulator.setToneGain(1.0);
    }
    ASSERT_TRUE(waitFor(from + 2500));
    const long long allocations = workerAllocations.load() - before;
    const long long buffers = painter.processedBuffers() - from;
    painter.stopCapture();
    painter.stopThread();
    std::cout << allocations << " allocations on the worker over " << buffers << " buffers\n";
    EXPECT_EQ(allocations, 0);
}

}  // namespace
