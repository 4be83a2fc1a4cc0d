#include "PrintJob.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>

#include "records/Companion.h"
#include "records/FrontEndCalibration.h"
#include "records/RecordTime.h"
#include "render/PaperPrinter.h"

namespace acquisition {

namespace {

constexpr double defaultValuesPerSecond = 48.75;

// A number as people write it ("48.75", "5"), whatever the locale says.
std::string numberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

double valuesPerSecond(const PrintSettings& settings) {
    const double rate = settings.facts.valuesPerSecond;
    return rate > 0.0 && std::isfinite(rate) ? rate : defaultValuesPerSecond;
}

// How many printed points each value of the recording becomes: ten when its
// companion is printed, one otherwise.
std::size_t pointsPerValue(const PrintSettings& settings) {
    const std::size_t perLine = records::companionValuesPerLine;
    const bool companion =
        !settings.values.empty() && settings.companion.size() == settings.values.size() * perLine;
    return companion ? perLine : 1;
}

// What the strips draw: the companion when there is one, else the values.
std::span<const double> printedPoints(const PrintSettings& settings) {
    return pointsPerValue(settings) > 1 ? std::span<const double>(settings.companion)
                                        : std::span<const double>(settings.values);
}

// The stretches without tone and with doubtful tone within strip `strip`
// of `n` lines (of `m`), in the strip's own points.
std::vector<render::PaperMark> stripMarks(const PrintSettings& settings, int strip, int n, int m) {
    const long long first = static_cast<long long>(strip) * n;
    const long long end = std::min<long long>(first + n, m);
    const auto perValue = static_cast<long long>(pointsPerValue(settings));
    std::vector<render::PaperMark> marks;
    const auto add = [&](const auto& stretches, bool doubtful) {
        for (const auto& [from, count] : stretches) {
            const long long begins = std::max(from, first);
            const long long ends = std::min(from + count, end);
            if (begins < ends) {
                marks.push_back({static_cast<int>((begins - first) * perValue),
                                 static_cast<int>((ends - first) * perValue), doubtful});
            }
        }
    };
    add(settings.facts.linesWithoutTone, false);
    add(settings.facts.linesWithDoubtfulTone, true);
    return marks;
}

// Where the trace of strip `strip` of `n` lines (of `m`) breaks, in the
// strip's own points: between two of its lines that buffers not stored lie
// between, for as long as they lasted, with the time the trace goes on at.
// Sound the input lost breaks a strip anywhere. The buffers skipped at each
// change of pane lie between strips as the recording was made, but inside
// one once it is cut out of a longer recording or printed at another speed:
// drawn on without a break, every wave after them would stand 41 ms early.
// Buffers skipped before a strip's first line are told by its label.
std::vector<render::PaperBreak> stripBreaks(const PrintSettings& settings, int strip, int n,
                                            int m) {
    const records::RecordingFacts& facts = settings.facts;
    const long long first = static_cast<long long>(strip) * n;
    const long long end = std::min<long long>(first + n, m);
    const auto perValue = static_cast<long long>(pointsPerValue(settings));
    std::vector<render::PaperBreak> breaks;
    for (const long long k : facts.skippedAfterLines) {
        const auto at = static_cast<int>((k - first) * perValue);
        if (k <= first || k >= end || (!breaks.empty() && breaks.back().at == at)) {
            continue;
        }
        const long long skipped = facts.skippedBefore(k) - facts.skippedBefore(k - 1);
        breaks.push_back({at, static_cast<double>(skipped) / valuesPerSecond(settings),
                          PrintJob::clockText(facts.secondsAt(k))});
    }
    return breaks;
}

// Whether a printed strip breaks where buffers were skipped at a change of
// pane rather than lost.
bool skipsInsideStrips(const PrintSettings& settings) {
    const records::RecordingFacts& facts = settings.facts;
    const int n = settings.samplesPerStrip;
    const int m = static_cast<int>(settings.values.size());
    if (n <= 0) {
        return false;
    }
    const long long printed =
        std::min<long long>(m, static_cast<long long>(PrintJob::stripCount(m, n)) * n);
    return std::any_of(
        facts.skippedAfterLines.begin(), facts.skippedAfterLines.end(), [&](long long k) {
            return k > 0 && k < printed && k % n != 0 &&
                   facts.droppedAfter(k) < facts.skippedBefore(k) - facts.skippedBefore(k - 1);
        });
}

double lostSeconds(std::span<const render::PaperBreak> breaks) {
    double seconds = 0.0;
    for (const render::PaperBreak& gap : breaks) {
        seconds += gap.seconds;
    }
    return seconds;
}

}  // namespace

records::RecordingFacts PrintSettings::defaultFacts() {
    records::RecordingFacts facts;
    facts.valuesPerSecond = defaultValuesPerSecond;
    facts.zeroValue = records::calibration::zeroLevel;
    facts.valuesPerMillivolt = records::calibration::perMillivolt;
    return facts;
}

PrintJob::PrintJob(std::unique_ptr<platform::PrinterSurface> printer, PrintSettings settings)
    : printer_(std::move(printer)), settings_(std::move(settings)) {}

PrintJob::~PrintJob() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PrintJob::start(std::function<void()> onFinished) {
    thread_ = std::thread([this, onFinished = std::move(onFinished)] {
        completed_.store(print(*printer_, settings_, cancelled_));
        printer_.reset();
        if (onFinished) {
            onFinished();
        }
    });
}

void PrintJob::cancel() {
    cancelled_.store(true);
}

int PrintJob::stripCount(int m, int n) {
    if (m <= 0 || n <= 0) {
        return 0;
    }
    return std::min((m + n - 1) / n, maxStrips);
}

std::string PrintJob::clockText(double seconds) {
    const long long tenths = std::llround(std::clamp(seconds, 0.0, 1e9) * 10.0);
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths % 600 / 10,
                  tenths % 10);
    return text;
}

PrintSettings PrintJob::settingsFor(const records::StoredRecording& recording,
                                    std::size_t maxValues, int samplesPerStrip,
                                    double millimetresPerMillivolt) {
    PrintSettings settings;
    const records::RecordingFacts& facts = recording.facts;
    const std::size_t count = std::min(recording.values.size(), maxValues);
    settings.values.assign(recording.values.begin(),
                           recording.values.begin() + static_cast<std::ptrdiff_t>(count));
    if (!recording.companion.empty()) {
        const std::size_t points = count * records::companionValuesPerLine;
        settings.companion.assign(
            recording.companion.begin(),
            recording.companion.begin() + static_cast<std::ptrdiff_t>(points));
    }
    settings.samplesPerStrip = samplesPerStrip;
    settings.facts = facts;
    settings.millimetresPerMillivolt = millimetresPerMillivolt;
    settings.startKnown = recording.hasFacts || recording.lastStored.tv_sec != 0;
    return settings;
}

std::vector<std::string> PrintJob::header(const PrintSettings& settings, int page, int pages) {
    const double rate = valuesPerSecond(settings);
    const records::RecordingFacts& facts = settings.facts;
    const std::string start = settings.startKnown
                                  ? "start " + records::localIsoTime(facts.startSeconds) +
                                        (facts.startMeasured ? "" : " (estimated)")
                                  : std::string("start unknown");
    const std::string gap = "      ";
    return {
        "trelmont-ecg" + gap + start + gap + "duration " +
            clockText(facts.secondsSpanned(static_cast<long long>(settings.values.size()))) + gap +
            "page " + std::to_string(page) + " of " + std::to_string(pages),
        numberText(render::PaperPrinter::paperSpeed) + " mm/s" + gap +
            numberText(settings.millimetresPerMillivolt) + " mm/mV" + gap +
            numberText(rate * static_cast<double>(pointsPerValue(settings))) + " values/s" + gap +
            (facts.filtered() ? "baseline filtered" : "unfiltered") +
            (facts.linesWithoutTone.empty() ? std::string()
                                            : gap + render::PaperPrinter::withoutToneLegend) +
            (facts.linesWithDoubtfulTone.empty() ? std::string()
                                                 : gap + render::PaperPrinter::doubtfulToneLegend),
        // The third legend goes on the shorter line: three beside the scale
        // would run off a page.
        "Name: ____________________" + gap + "Date of birth: ____________" +
            (facts.droppedAfterLines.empty() ? std::string()
                                             : gap + render::PaperPrinter::soundLostLegend) +
            (skipsInsideStrips(settings) ? gap + render::PaperPrinter::notRecordedLegend
                                         : std::string()),
    };
}

bool PrintJob::print(platform::PrinterSurface& printer, const PrintSettings& settings,
                     const std::atomic<bool>& cancelled) {
    if (cancelled.load() || !printer.beginDocument(documentName)) {
        return false;
    }
    const render::PaperPrinter paper(printer);
    const std::size_t perValue = pointsPerValue(settings);
    const double rate = valuesPerSecond(settings);
    const render::PaperTrace trace{rate * static_cast<double>(perValue),
                                   settings.millimetresPerMillivolt,
                                   settings.facts.valuesPerMillivolt};
    const int m = static_cast<int>(settings.values.size());
    const int n = settings.samplesPerStrip;
    // Strip i is pane i's stretch of values [i n, (i + 1) n), in as many
    // points as stand for them.
    const auto stripValues = [&](int strip) {
        const std::size_t offset = static_cast<std::size_t>(strip) * static_cast<std::size_t>(n);
        const auto count = static_cast<std::size_t>(std::min(n, m - strip * n));
        return printedPoints(settings).subspan(offset * perValue, count * perValue);
    };
    std::vector<double> lengths;
    for (int i = 0; i < stripCount(m, n); ++i) {
        lengths.push_back(render::PaperPrinter::stripLength(
            static_cast<int>(stripValues(i).size()), trace.valuesPerSecond,
            lostSeconds(stripBreaks(settings, i, n, m))));
    }
    const std::vector<render::PaperLayout::Piece> pieces = paper.layout().place(lengths);
    const int pages = render::PaperLayout::pageCount(pieces);
    int page = 0;
    paper.drawPage(header(settings, page + 1, pages));
    for (const render::PaperLayout::Piece& piece : pieces) {
        if (piece.shift == 0.0 && settings.beforeStrip) {
            settings.beforeStrip(piece.strip);
        }
        if (cancelled.load()) {
            printer.abortDocument();
            return false;
        }
        if (piece.page() > page) {
            page = piece.page();
            if (!printer.newPage()) {
                printer.abortDocument();
                return false;
            }
            paper.drawPage(header(settings, page + 1, pages));
        }
        const double start = settings.facts.secondsAt(static_cast<long long>(piece.strip) * n);
        const std::vector<render::PaperMark> marks = stripMarks(settings, piece.strip, n, m);
        const std::vector<render::PaperBreak> breaks = stripBreaks(settings, piece.strip, n, m);
        paper.drawPiece(piece, stripValues(piece.strip), trace, clockText(start), marks, breaks);
    }
    if (cancelled.load()) {
        printer.abortDocument();
        return false;
    }
    return printer.endDocument();
}

}  // namespace acquisition
