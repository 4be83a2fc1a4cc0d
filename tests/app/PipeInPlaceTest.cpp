#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "MainWindowRig.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Key = platform::MainDialog::Key;
using Clock = std::chrono::steady_clock;

// Should anything wait on the pipe at `path` for longer than a test allows,
// opens it now and then for reading and writing, which ends any such wait:
// the test then fails instead of hanging.
class PipeWatch {
public:
    explicit PipeWatch(std::string path)
        : thread_([this, path = std::move(path)] {
              std::unique_lock lock(mutex_);
              if (stopped_.wait_for(lock, 5s, [this] { return stop_; })) {
                  return;
              }
              while (!stop_) {
                  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ::close(fd);
                  }
                  fired_ = true;
                  stopped_.wait_for(lock, 50ms, [this] { return stop_; });
              }
          }) {}
    ~PipeWatch() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_all();
        thread_.join();
    }
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;

    bool fired() {
        const std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    bool fired_ = false;
    std::thread thread_;
};

template <typename Action>
Clock::duration timed(Action action) {
    const auto start = Clock::now();
    action();
    return Clock::now() - start;
}

class PipeInPlaceTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // A writer whose reader went away gets an error, not the end.
        previousPipe_ = std::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override {
        std::signal(SIGPIPE, previousPipe_);
        MainWindowTest::TearDown();
    }

private:
    void (*previousPipe_)(int) = SIG_DFL;
};

// A pipe in the place of one of the recording's files, or of the undo's
// state, would never end or never open: Ctrl+Z, the start button and
// --export-edf each refuse it at once, naming it, where they read it, and
// go ahead where they do not. Nothing waits on the pipe.
TEST_F(PipeInPlaceTest, EveryReaderRefusesAPipeAtOnceNamingIt) {
    struct Case {
        const char* file;
        // Whether the start button and the export read the file.
        bool startReads;
        bool exportReads;
    };
    const Case cases[] = {
        {"REC.txt", true, true},
        {"REC.hr.txt", true, true},
        {"REC.info.txt", true, true},
        {"REC.undo.state", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const testsupport::ScratchDirectory folder;
        const std::string named = std::string(c.file) + " is not a regular file";
        ASSERT_TRUE(testsupport::storeRecording("REC.txt", testsupport::makeLines(60)));
        std::filesystem::remove(c.file);
        ASSERT_EQ(::mkfifo(c.file, 0600), 0);
        PipeWatch watch(c.file);

        open();
        modal().boxes.clear();
        EXPECT_LT(timed([&] { dialog().pressKey(Key::CtrlZ); }), 1s);
        ASSERT_EQ(modal().boxes.size(), 1u);
        EXPECT_EQ(modal().boxes[0].caption, "Undo");
        EXPECT_NE(modal().boxes[0].text.find(named), std::string::npos) << modal().boxes[0].text;

        modal().boxes.clear();
        EXPECT_LT(timed([&] { dialog().click(ids::startStop); }), 1s);
        if (c.startReads) {
            EXPECT_TRUE(controller().idle);
            ASSERT_EQ(modal().boxes.size(), 1u);
            EXPECT_EQ(modal().boxes[0].caption, "Recorder");
            EXPECT_NE(modal().boxes[0].text.find(named), std::string::npos)
                << modal().boxes[0].text;
        } else {
            // A new recording forgets the undo, the pipe with it.
            EXPECT_FALSE(controller().idle);
            EXPECT_TRUE(modal().boxes.empty());
            dialog().click(ids::startStop);
            ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
            ASSERT_EQ(::mkfifo(c.file, 0600), 0);
        }
        shell_.reset();
        dialog_.reset();

        int status = -1;
        EXPECT_LT(timed([&] {
                      status = std::system(("timeout -s KILL 20 " + std::string(TRELMONT_PROGRAM) +
                                            " --export-edf REC.txt sent.edf 2>err.txt")
                                               .c_str());
                  }),
                  1s);
        ASSERT_TRUE(WIFEXITED(status));
        const std::string err = testsupport::readFile("err.txt");
        if (c.exportReads) {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_NE(err.find(named), std::string::npos) << err;
            EXPECT_FALSE(std::filesystem::exists("sent.edf"));
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 0) << err;
        }
        EXPECT_FALSE(watch.fired());
    }
}

}  // namespace
}  // namespace app::test
