#include <gtest/gtest.h>

#include <string>

#include "acquisition/ToneMarks.h"

namespace acquisition {
namespace {

using Stretches = ToneMarks::Stretches;

struct Case {
    const char* what;
    // A line each: g good, d doubtful, - without tone; ten lines a second.
    std::string lines;
    Stretches withoutTone;
    Stretches doubtful;
};

ToneMarks marksOf(const std::string& lines) {
    ToneMarks marks(10.0);
    for (const char c : lines) {
        marks.take(c == 'g'   ? ToneQuality::good
                   : c == 'd' ? ToneQuality::doubtful
                              : ToneQuality::withoutTone);
    }
    marks.finish();
    return marks;
}

std::string repeat(char c, int n) {
    return std::string(static_cast<std::size_t>(n), c);
}

// A second without tone is a stretch without it, ended only by a second of
// tone; anything without tone that is shorter is doubtful, and doubtful
// lines less than half a second apart are one stretch, listed from half a
// second.
TEST(ToneMarks, EachLineLandsInTheStretchAReaderMustBeToldOf) {
    const Case cases[] = {
        {"a second and more without", "ggggg" + repeat('-', 12) + repeat('g', 10), {{5, 12}}, {}},
        {"a dropout of half a second", "ggggg-----" + repeat('g', 10), {}, {{5, 5}}},
        {"a dropout shorter than half a second", "ggggg----" + repeat('g', 10), {}, {}},
        {"tone that comes back too briefly", "------ggg------" + repeat('g', 10), {{0, 15}}, {}},
        {"doubt across a short good stretch", "dddggggddd" + repeat('g', 5), {}, {{0, 10}}},
        {"doubt across half a second of good", "dddgggggddd" + repeat('g', 5), {}, {}},
        {"doubt before a stretch without, doubt in the tone's return",
         "dddddd" + repeat('-', 10) + "dddddggggg",
         {{6, 10}},
         {{0, 6}, {16, 5}}},
        {"a dropout inside doubt joins it", "ddd--dd" + repeat('g', 10), {}, {{0, 7}}},
        {"without tone to the end", "ggg" + repeat('-', 12) + "ggg", {{3, 15}}, {}},
        {"a short dropout at the end", "ggggg------", {}, {{5, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToneMarks marks = marksOf(c.lines);
        EXPECT_EQ(marks.withoutTone(), c.withoutTone);
        EXPECT_EQ(marks.doubtful(), c.doubtful);
        EXPECT_EQ(marks.lines(), static_cast<long long>(c.lines.size()));
    }
    // What a reset leaves is a new recording's.
    ToneMarks marks(10.0);
    marks.take(ToneQuality::withoutTone);
    marks.reset();
    for (int i = 0; i < 20; ++i) {
        marks.take(ToneQuality::good);
    }
    marks.finish();
    EXPECT_TRUE(marks.withoutTone().empty() && marks.doubtful().empty());
}

}  // namespace
}  // namespace acquisition
