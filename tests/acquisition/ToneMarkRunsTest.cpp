#include "acquisition/ToneMarkRuns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace acquisition {
namespace {

using Mark = ToneMarkRuns::Mark;

// What the live trace was asked to mark: "pane:from-to kind" a place.
struct Drawn {
    std::vector<std::string> marks;
    ToneMarkRuns::Draw draw() {
        return [this](const ToneMarkRuns::Place& p, Mark mark) {
            marks.push_back(std::to_string(p.pane) + ":" + std::to_string(int(p.fromX)) + "-" +
                            std::to_string(int(p.toX)) +
                            (mark == Mark::withoutTone ? " none" : " doubtful"));
        };
    }
};

// Buffers of `quality` drawn 2 pixels apart on `pane` from x `from`.
void feed(ToneMarkRuns& runs, Drawn& drawn, ToneQuality quality, int count, int pane, int from) {
    for (int i = 0; i < count; ++i) {
        runs.add({pane, from + 2.0 * i, from + 2.0 * (i + 1)}, quality, drawn.draw());
    }
}

// At 10 buffers a second: a run without tone is marked as such from its
// tenth buffer, back to its start, then buffer by buffer; one that ends
// sooner, or is cut by the stop, as doubtful; doubtful tone from its fifth
// buffer; a shorter doubtful run not at all. A run carries on across a
// change of pane.
TEST(ToneMarkRuns, RunsAreMarkedOnceTheyAreLongEnoughBackToTheirStart) {
    ToneMarkRuns runs;
    runs.reset(10.0);
    Drawn drawn;
    feed(runs, drawn, ToneQuality::withoutTone, 9, 0, 0);
    EXPECT_TRUE(drawn.marks.empty());
    feed(runs, drawn, ToneQuality::withoutTone, 2, 0, 18);
    EXPECT_EQ(drawn.marks, (std::vector<std::string>{"0:0-20 none", "0:20-22 none"}));

    drawn.marks.clear();
    feed(runs, drawn, ToneQuality::good, 3, 0, 22);
    feed(runs, drawn, ToneQuality::doubtful, 4, 0, 28);
    feed(runs, drawn, ToneQuality::withoutTone, 9, 0, 36);
    feed(runs, drawn, ToneQuality::good, 1, 0, 54);
    EXPECT_EQ(drawn.marks, (std::vector<std::string>{"0:36-54 doubtful"}));

    drawn.marks.clear();
    feed(runs, drawn, ToneQuality::doubtful, 3, 0, 950);
    feed(runs, drawn, ToneQuality::doubtful, 3, 1, 0);
    EXPECT_EQ(drawn.marks,
              (std::vector<std::string>{"0:950-956 doubtful", "1:0-4 doubtful", "1:4-6 doubtful"}));

    drawn.marks.clear();
    feed(runs, drawn, ToneQuality::withoutTone, 3, 1, 6);
    runs.finish(drawn.draw());
    EXPECT_EQ(drawn.marks, (std::vector<std::string>{"1:6-12 doubtful"}));

    // A new recording starts with nothing pending.
    drawn.marks.clear();
    runs.reset(10.0);
    runs.finish(drawn.draw());
    EXPECT_TRUE(drawn.marks.empty());
}

}  // namespace
}  // namespace acquisition
