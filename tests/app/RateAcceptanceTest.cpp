#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "MainWindowRig.h"
#include "acquisition/HeartSignal.h"
#include "records/EdfExport.h"
#include "records/RecordingFacts.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/RecordingFiles.h"

namespace app::test {
namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A device that offers one group of rates: the window records at its rate.
struct Rate {
    int sampleRate = 0;
    std::uint32_t formats = 0;
};

// What the EDF+ export of slot 1 says of the heart it recorded.
struct Sent {
    double start = 0.0;         // the header's, in seconds since the epoch
    double r = 0.0;             // against the heart signal
    double rWaveRatio = 0.0;    // R waves' height over the true one
    double beatsPerMinute = 0;  // from the R waves' spacing
};

// Writes slot 1 as --export-edf does (the defaults: its facts must make it
// right), reads it back with biosig and sets it against `heart`: EDF+
// sample i is the mean over its tenth of a buffer, whose middle lies
// (i + 0.5) / rate after line 0's buffer began; the bridged buffers are
// left out.
Sent sendSlotOne(const records::RecordingFacts& facts, const acquisition::HeartSignal& heart) {
    Sent sent;
    const std::string failure = records::EdfExport(199680, 4096).write("REC1.txt", "rec1.edf");
    EXPECT_EQ(failure, "");
    const testsupport::ReadBack back = testsupport::readWithBiosig("rec1.edf");
    const double rate = back.samplingRate;
    EXPECT_DOUBLE_EQ(rate, 10.0 * facts.sampleRate / facts.samplesPerBuffer);
    sent.start = testsupport::edfStartSeconds("rec1.edf");
    const auto n = static_cast<std::size_t>(std::llround(back.endOfRecording * rate));
    if (!(rate > 0.0) || n < 1000 || back.millivolts.size() < n) {
        ADD_FAILURE() << "the export holds " << back.millivolts.size() << " samples";
        return sent;
    }
    const double first = facts.secondsAt(0);
    const auto bridged = [&](double t) {
        return std::any_of(back.bridges.begin(), back.bridges.end(), [&](const auto& b) {
            return t > b.first - 0.05 && t < b.first + b.second + 0.05;
        });
    };
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) + 0.5) / rate;
        if (bridged(t)) {
            continue;
        }
        const double x = back.millivolts[i];
        const double y = heart.millivolts(first + t);
        sx += x;
        sy += y;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        count += 1;
    }
    sent.r = (count * sxy - sx * sy) / std::sqrt((count * sxx - sx * sx) * (count * syy - sy * sy));

    // Each R wave the export holds whole, at its highest within 40 ms of
    // the true peak.
    double sentHeight = 0.0;
    double trueHeight = 0.0;
    for (int beat = 0;; ++beat) {
        const double t = heart.rPeakTime(beat) - first;
        if (t + 0.1 > static_cast<double>(n) / rate) {
            break;
        }
        if (t < 0.1 || bridged(t)) {
            continue;
        }
        double highest = -1e9;
        for (auto i = static_cast<long long>((t - 0.04) * rate); i <= (t + 0.04) * rate; ++i) {
            highest = std::max(highest, back.millivolts[static_cast<std::size_t>(i)]);
        }
        sentHeight += highest;
        trueHeight += heart.millivolts(heart.rPeakTime(beat));
    }
    sent.rWaveRatio = sentHeight / trueHeight;

    // The R waves found in the export alone: rising through 0.7 mV, at
    // their highest sample; the rate from the median spacing (a bridge may
    // hide one).
    std::vector<double> peaks;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (back.millivolts[i - 1] < 0.7 && back.millivolts[i] >= 0.7) {
            std::size_t top = i;
            for (std::size_t j = i; j < n && j < i + static_cast<std::size_t>(0.05 * rate); ++j) {
                top = back.millivolts[j] > back.millivolts[top] ? j : top;
            }
            peaks.push_back(static_cast<double>(top) / rate);
        }
    }
    std::vector<double> spacing;
    for (std::size_t k = 1; k < peaks.size(); ++k) {
        spacing.push_back(peaks[k] - peaks[k - 1]);
    }
    if (spacing.size() < 10) {
        ADD_FAILURE() << "the export holds " << peaks.size() << " R waves";
        return sent;
    }
    std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
    sent.beatsPerMinute = 60.0 / spacing[spacing.size() / 2];
    return sent;
}

// What the printout says and draws: the start in its header, and the R
// waves' spacing on the grid in millimetres, every strip's.
struct Printed {
    std::string start;
    std::string text;
    std::vector<double> rToR;
};

class RateAcceptanceTest : public MainWindowTest, public ::testing::WithParamInterface<Rate> {
protected:
    // Ctrl+P to a PDF file, and the printout read back: its text, and its
    // strips (which last `stripSeconds`) when that is given.
    Printed print(double stripSeconds = 0.0) {
        Printed printed;
        const std::string pdf = (scratch_.path() / "strips.pdf").string();
        modal().printToPdf = pdf;
        dialog().pressKey(platform::MainDialog::Key::CtrlP);
        EXPECT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }, 120s));
        printed.text = testsupport::pdfText(pdf);
        const std::size_t at = printed.text.find("start ");
        if (at != std::string::npos) {
            const std::size_t end = printed.text.find_first_of(" \n", at + 6);
            printed.start = printed.text.substr(at + 6, end - at - 6);
        }
        // At 254 dpi ten pixels make a millimetre. A strip's baseline is
        // the row its flat stretches ink for a third of its length at
        // least; its first rise is the calibration pulse (1 mV, 5 mm), the
        // others are R waves (1.2 mV).
        const int flat = static_cast<int>(stripSeconds * 25 * 10 / 3);
        for (const testsupport::PrintedPage& page : flat > 0
                                                        ? testsupport::renderPdf(pdf, 254)
                                                        : std::vector<testsupport::PrintedPage>{}) {
            for (const double baseline : testsupport::traceBaselines(page, flat, 250)) {
                const auto rises = testsupport::risesAbove(page, baseline, 35, 150);
                for (std::size_t i = 2; i < rises.size(); ++i) {
                    printed.rToR.push_back((rises[i].middle() - rises[i - 1].middle()) / 10.0);
                }
            }
        }
        return printed;
    }
};

// A recording at each rate the window offers, through the real window from
// the unpaced simulator at 72 a minute until it stops itself: slot 1 sent
// as EDF+ is the heart signal (r at least 0.99, the R waves within 3 %, the
// rate within 1 %) from the moment the recording was started; the printout
// says when, and draws the beats 20.8 mm apart at 25 mm/s. A record whose
// modification time changed (an hour later, by a copy or a touch) keeps
// its start in both.
TEST_P(RateAcceptanceTest, SlotOneIsTheHeartAsItBeatAtEveryRate) {
    const Rate rate = GetParam();
    const auto began = std::chrono::steady_clock::now();
    open(unpaced(), [&](ChosenDevice& d) { d.formats = rate.formats; });
    ASSERT_EQ(controller().sampleRate, rate.sampleRate);
    const double pressed = now();
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }, 180s));
    const acquisition::HeartSignal heart = device_->simulator.heartSignal();
    const records::StoredRecording slot = testsupport::readStored("REC1.txt");
    ASSERT_TRUE(slot.identified);
    EXPECT_EQ(slot.facts.sampleRate, rate.sampleRate);
    EXPECT_NEAR(slot.durationSeconds(), 7 * 461 * 4096.0 / rate.sampleRate, 0.2);
    ASSERT_EQ(slot.companion.size(), slot.values.size() * 10);

    const Sent sent = sendSlotOne(slot.facts, heart);
    EXPECT_GE(sent.r, 0.99);
    EXPECT_NEAR(sent.rWaveRatio, 1.0, 0.03);
    EXPECT_NEAR(sent.beatsPerMinute, 72.0, 0.72);
    EXPECT_NEAR(sent.start, pressed, 2.0);

    const double strip = 460 * 4096.0 / rate.sampleRate;
    const Printed printed = print(strip);
    const std::optional<double> printedStart = records::parseIsoTime(printed.start);
    ASSERT_TRUE(printedStart) << printed.text;
    EXPECT_NEAR(*printedStart, pressed, 2.0);
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%g values/s", 10.0 * rate.sampleRate / 4096);
    EXPECT_NE(printed.text.find(rateText), std::string::npos) << rateText << " in\n"
                                                              << printed.text;
    // Seven strips of 460 values, a beat in every 0.83 s of each.
    EXPECT_GE(printed.rToR.size(), static_cast<std::size_t>(7 * (strip / 0.8333 - 2)));
    double sum = 0.0;
    for (const double mm : printed.rToR) {
        EXPECT_NEAR(mm, 60.0 / 72 * 25, 0.5);
        sum += mm;
    }

    // An hour later by the file's clock.
    const std::timespec later{static_cast<std::time_t>(now()) + 3600, 0};
    testsupport::setModificationTime("REC1.txt", later);
    testsupport::setModificationTime("REC.txt", later);
    const Sent again = sendSlotOne(slot.facts, heart);
    EXPECT_EQ(again.start, sent.start);
    EXPECT_EQ(print().start, printed.start);

    std::printf(
        "%d samples/s: r %.6f, R waves x%.4f, %.3f a minute, EDF+ start %+.3f s, "
        "printed start %+.3f s, R to R %.2f mm over %zu, %.1f s\n",
        rate.sampleRate, sent.r, sent.rWaveRatio, sent.beatsPerMinute, sent.start - pressed,
        *printedStart - pressed,
        printed.rToR.empty() ? 0.0 : sum / static_cast<double>(printed.rToR.size()),
        printed.rToR.size(),
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
}

INSTANTIATE_TEST_SUITE_P(EveryRate, RateAcceptanceTest,
                         ::testing::Values(Rate{199680, platform::WAVE_FORMAT_1M16},
                                           Rate{399360, platform::WAVE_FORMAT_2M16},
                                           Rate{798720, platform::WAVE_FORMAT_4M16}),
                         [](const auto& info) { return std::to_string(info.param.sampleRate); });

}  // namespace
}  // namespace app::test
