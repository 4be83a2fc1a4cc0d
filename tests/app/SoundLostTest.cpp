#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "MainWindowRig.h"
#include "acquisition/HeartSignal.h"
#include "acquisition/PrintJob.h"
#include "acquisition/WorkerHold.h"
#include "platform/PortAudioWaveInput.h"
#include "records/RecordingFacts.h"
#include "records/StoredRecording.h"
#include "render/PaperPrinter.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/PipeFeeder.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/ToneFiles.h"

namespace app::test {
namespace {

constexpr double bufferSeconds = 4096.0 / 199680.0;
const std::string program = TRELMONT_PROGRAM;

// A record's values, their encoding taken off.
std::vector<double> valuesOf(const std::string& path) {
    records::StoredRecording recording;
    EXPECT_EQ(records::readRecording(path, {}, recording), "");
    return recording.values;
}

// Columns with ink nowhere below `top`: the runs of at least `least` of them
// in a strip's trace, from `leadIn` columns after the first with ink (where
// its label and pulse begin) to the last.
int blankRuns(const testsupport::PrintedPage& page, int top, int leadIn, int least) {
    std::vector<bool> inked(static_cast<std::size_t>(page.width));
    for (int x = 0; x < page.width; ++x) {
        for (int y = top; y < page.height && !inked[static_cast<std::size_t>(x)]; ++y) {
            inked[static_cast<std::size_t>(x)] = page.ink(x, y);
        }
    }
    const auto first = std::find(inked.begin(), inked.end(), true) + leadIn;
    const auto last = std::find(inked.rbegin(), inked.rend(), true).base();
    int runs = 0;
    for (auto at = first; at < last;) {
        const auto blank = std::find(at, last, false);
        at = std::find(blank, last, true);
        runs += at - blank >= least ? 1 : 0;
    }
    return runs;
}

// The window records the heart signal's tone through the tests' ALSA device
// at the real rate while its capture worker is held for 300 ms every 40
// buffers, as on a machine too busy to run it: the sound input drops what
// comes meanwhile.
class SoundLostTest : public MainWindowTest {
protected:
    SoundLostTest() {
        const auto conf = scratch_.path() / "asound.conf";
        std::ofstream(conf) << feeder_.alsaConfiguration();
        ::setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
        input_ = std::make_unique<platform::PortAudioWaveInput>();
        acquisition::WorkerHold::everyForTests(40, 300ms);
    }
    ~SoundLostTest() override {
        acquisition::WorkerHold::everyForTests(0, 0ms);
        ::unsetenv("ALSA_CONFIG_PATH");
    }

    const acquisition::HeartSignal heart_;
    const std::vector<std::int16_t> tone_ = testsupport::simulatorTone(heart_, 199680, 20.0);
    testsupport::PipeFeeder feeder_{tone_};
    std::unique_ptr<platform::PortAudioWaveInput> input_;
};

TEST_F(SoundLostTest, EveryBeatStaysAtItsTimeAndTheLossIsSaidUntilTheNextStart) {
    openOn(*input_);
    startRecording();
    ASSERT_TRUE(pumpUntil(
        [&] {
            return dialog().isNoticeShown() && dialog().noticeText() == Controller::soundLostNotice;
        },
        20s));
    pumpFor(4s);
    dialog().click(resources::ids::startStop);
    acquisition::WorkerHold::everyForTests(0, 0ms);
    EXPECT_TRUE(dialog().isNoticeShown());
    EXPECT_EQ(dialog().noticeText(), Controller::soundLostNotice);

    const records::FactsReading read = records::readFacts("REC.txt");
    ASSERT_EQ(read.status, records::FactsReading::Status::Read) << read.reason;
    const records::RecordingFacts& facts = read.facts;
    std::vector<long long> gaps = facts.droppedAfterLines;
    gaps.erase(std::unique(gaps.begin(), gaps.end()), gaps.end());
    ASSERT_GE(gaps.size(), 2u);

    // Line k holds buffer k plus those skipped before it, as the same
    // samples decoded from a file tell (its first line is buffer 1).
    const std::vector<double> live = valuesOf("REC.txt");
    const auto heard = static_cast<std::size_t>(
        (facts.secondsSpanned(static_cast<long long>(live.size())) + 1.0) * 199680);
    testsupport::writeWav("tone.wav", 199680, 1, {tone_.begin(), tone_.begin() + heard});
    ASSERT_EQ(std::system((program + " --decode tone.wav dec.txt").c_str()), 0);
    const std::vector<double> decoded = valuesOf("dec.txt");
    for (std::size_t k = 0; k < live.size(); ++k) {
        const auto buffer = static_cast<std::size_t>(facts.skippedBefore(k)) + k;
        ASSERT_LT(buffer - 1, decoded.size());
        ASSERT_NEAR(live[k], decoded[buffer - 1], 1e-9) << "line " << k;
    }

    ASSERT_EQ(std::system((program + " --export-edf REC.txt rec.edf").c_str()), 0);
    const testsupport::ReadBack edf = testsupport::readWithBiosig("rec.edf");
    ASSERT_EQ(edf.lost.size(), gaps.size());
    // Each R wave (the highest point within 200 ms) where the device
    // delivered it, but those the loss itself cut into.
    const auto near = [&](double t) {
        return std::any_of(edf.lost.begin(), edf.lost.end(), [&](const auto& lost) {
            return t > lost.first - 2 * bufferSeconds &&
                   t < lost.first + lost.second + 2 * bufferSeconds;
        });
    };
    const auto window = static_cast<std::ptrdiff_t>(0.2 * edf.samplingRate);
    const auto& mv = edf.millivolts;
    int afterALoss = 0;
    for (std::ptrdiff_t i = window; i + window < static_cast<std::ptrdiff_t>(mv.size()); ++i) {
        const double t = static_cast<double>(i) / edf.samplingRate;
        if (mv[i] < 0.6 || *std::max_element(&mv[i - window], &mv[i + window]) != mv[i] ||
            near(t)) {
            continue;
        }
        const double delivered = t + facts.secondsAt(0);
        const int beat = static_cast<int>(std::lround(delivered / heart_.beatPeriod() - 0.5));
        EXPECT_NEAR(delivered, heart_.rPeakTime(beat), bufferSeconds) << "R wave at " << t;
        afterALoss += t > edf.lost[0].first ? 1 : 0;
    }
    EXPECT_GE(afterALoss, 3);

    // The printout: the trace breaks where sound was lost, and says when it
    // goes on.
    const std::string pdf = (scratch_.path() / "strips.pdf").string();
    modal().printToPdf = pdf;
    dialog().pressKey(platform::MainDialog::Key::CtrlP);
    ASSERT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }, 60s));
    const std::string text = testsupport::pdfText(pdf);
    EXPECT_NE(text.find(render::PaperPrinter::soundLostLegend), std::string::npos) << text;
    for (const long long k : gaps) {
        const std::string label = acquisition::PrintJob::clockText(facts.secondsAt(k));
        EXPECT_NE(text.find(label), std::string::npos) << label << " in\n" << text;
    }
    const std::vector<testsupport::PrintedPage> pages = testsupport::renderPdf(pdf, 254);
    ASSERT_EQ(pages.size(), 1u);
    // Below the header, after the lead-in of 11 mm from the label on: at 10
    // pixels a millimetre a gap of three buffers is 15 wide, the trace's
    // line 2.5.
    const auto wide = std::count_if(gaps.begin(), gaps.end(),
                                    [&](long long k) { return facts.droppedAfter(k) >= 3; });
    EXPECT_EQ(blankRuns(pages[0], 250, 112, 10), wide);

    startRecording();
    EXPECT_FALSE(dialog().isNoticeShown()) << dialog().noticeText();
    dialog().click(resources::ids::startStop);
}

}  // namespace
}  // namespace app::test
