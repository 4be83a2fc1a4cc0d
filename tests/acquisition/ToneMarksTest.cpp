#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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
        // The judgement hears a disturbance late: its stretch begins half a
        // second before, but never in the stretch listed before it.
        {"doubt heard late", repeat('g', 10) + "dddddd" + repeat('g', 10), {}, {{5, 11}}},
        {"doubt heard late after doubt",
         "dddddgggggdddddd" + repeat('g', 10),
         {},
         {{0, 5}, {5, 11}}},
        {"doubt heard late after a stretch without",
         repeat('-', 10) + "ggddddd" + repeat('g', 10),
         {{0, 10}},
         {{10, 7}}},
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

namespace acquisition {
namespace {

// What a watcher was told, line by line: the kind of each line ('.' none)
// and "at:kind first+count" for each telling, `at` the lines taken so far.
struct Told final : ToneMarks::Watcher {
    std::string kinds;
    std::vector<std::string> log;
    long long lines = 0;
    long long furthestBack = 0;
    bool twice = false;

    void marked(ToneQuality kind, long long first, long long count) override {
        const char c = kind == ToneQuality::withoutTone ? '-' : 'd';
        log.push_back(std::to_string(lines) + ":" + c + std::to_string(first) + "+" +
                      std::to_string(count));
        furthestBack = std::max(furthestBack, lines - first);
        if (kinds.size() < static_cast<std::size_t>(first + count)) {
            kinds.resize(static_cast<std::size_t>(first + count), '.');
        }
        for (long long i = first; i < first + count; ++i) {
            twice = twice || kinds[static_cast<std::size_t>(i)] != '.';
            kinds[static_cast<std::size_t>(i)] = c;
        }
    }
};

void feed(ToneMarks& marks, Told& told, const std::string& lines) {
    for (const char c : lines) {
        ++told.lines;
        marks.take(c == 'g'   ? ToneQuality::good
                   : c == 'd' ? ToneQuality::doubtful
                              : ToneQuality::withoutTone,
                   &told);
    }
}

// The lines of the lists, as Told::kinds has them.
std::string listed(const ToneMarks& marks) {
    std::string kinds(static_cast<std::size_t>(marks.lines()), '.');
    for (const auto& [list, c] : {std::pair{&marks.withoutTone(), '-'}, {&marks.doubtful(), 'd'}}) {
        for (const auto& [first, count] : *list) {
            kinds.replace(static_cast<std::size_t>(first), static_cast<std::size_t>(count),
                          static_cast<std::size_t>(count), c);
        }
    }
    return kinds;
}

// A stretch is told of as soon as it is long enough to be listed, from its
// first line, then line by line; a dropout too short waits for the tone's
// second, or the end, and turns doubtful.
TEST(ToneMarks, AWatcherIsToldOfEachStretchAsSoonAsItWillBeListed) {
    const struct {
        const char* what;
        std::string lines;
        std::vector<std::string> log;
    } cases[] = {
        {"a second without tone, then more",
         "ggg" + repeat('-', 11) + "g",
         {"13:-3+10", "14:-13+1", "end:-14+1"}},
        {"doubt joined across good tone", "dddggggdddg", {"8:d0+8", "9:d8+1", "10:d9+1"}},
        {"a short dropout turns doubtful when the tone has been back a second",
         "ggg-----" + repeat('g', 10),
         {"18:d3+5"}},
        {"a short dropout at the end", "ggg---gg", {"end:d3+5"}},
        {"doubt heard late, from half a second before",
         repeat('g', 10) + "dddddd",
         {"15:d5+10", "16:d15+1"}},
    };
    ToneMarks marks(10.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        marks.reset();
        Told told;
        feed(marks, told, c.lines);
        told.lines = -1;
        marks.finish(&told);
        std::vector<std::string> log = told.log;
        for (std::string& entry : log) {
            if (entry.rfind("-1:", 0) == 0) {
                entry.replace(0, 2, "end");
            }
        }
        EXPECT_EQ(log, c.log);
    }
}

// Whatever the tone does, the lines a watcher is told of are those listed,
// each once, never further back than the places kept for it, and a reset
// starts afresh.
TEST(ToneMarks, AWatcherIsToldOfExactlyTheLinesListed) {
    std::mt19937 random(7);
    ToneMarks marks(10.0);
    for (int round = 0; round < 2000; ++round) {
        marks.reset();
        std::string lines;
        while (lines.size() < 300) {
            const char c = "gd-"[random() % 3];
            lines.append(random() % (c == 'g' ? 16 : 12) + 1, c);
        }
        Told told;
        feed(marks, told, lines);
        marks.finish(&told);
        told.kinds.resize(lines.size(), '.');
        ASSERT_EQ(told.kinds, listed(marks)) << lines;
        ASSERT_FALSE(told.twice) << lines;
        ASSERT_LE(told.furthestBack, marks.linesUndecided()) << lines;
    }
}

}  // namespace
}  // namespace acquisition
