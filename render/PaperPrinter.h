#pragma once

#include <span>
#include <string>

#include "PaperLayout.h"
#include "platform/Geometry.h"
#include "platform/PrinterSurface.h"
#include "records/FrontEndCalibration.h"

namespace render {

// A stretch of a strip's points, [from, to), marked under the strip: where
// the recording held no tone of the front end, or a doubtful one.
struct PaperMark {
    int from = 0;
    int to = 0;
    bool doubtful = false;
};

// Where a strip's trace breaks because sound was lost before point `at`:
// the paper stays blank for the time lost, at the paper's speed, and the
// time at which the trace goes on is written under it, as a strip's label
// gives its start.
struct PaperBreak {
    int at = 0;
    double seconds = 0.0;
    std::string label;
};

// How a strip's values become a trace on paper.
struct PaperTrace {
    double valuesPerSecond = 48.75;
    double millimetresPerMillivolt = 5.0;
    // The recording's scale: values per millivolt.
    double valuesPerMillivolt = records::calibration::perMillivolt;
};

// Draws ECG paper on a printer as an electrocardiograph does: the grid of
// 1 mm squares with every fifth line stronger, at exactly 25 mm/s and the
// chosen gain, a 1 mV calibration pulse at the start of every strip, the
// trace in black over the grid. Positions are worked out in millimetres and
// become device pixels at the printer's own resolution.
class PaperPrinter {
public:
    static constexpr double paperSpeed = 25.0;  // mm/s
    static constexpr double pulseSeconds = 0.2;
    // Light red: it prints on any printer, and a black trace stands out on it.
    static constexpr platform::Rgb minorGridColour{250, 185, 185};
    static constexpr platform::Rgb majorGridColour{235, 115, 115};
    // A stretch without the front end's tone: a grey bar along the foot of
    // the band, under the trace, which stays as it was.
    static constexpr platform::Rgb withoutToneColour{110, 110, 110};
    static constexpr const char* withoutToneLegend = "grey bar under a strip: no ECG tone";
    // A stretch whose tone was there but disturbed: a bar of this shade, in
    // the same place, on paper and on the screen's strips alike.
    static constexpr platform::Rgb doubtfulToneColour{215, 130, 25};
    static constexpr const char* doubtfulToneLegend = "orange bar under a strip: doubtful ECG tone";
    static constexpr const char* soundLostLegend =
        "gap in a strip: sound lost, the computer fell behind";
    static constexpr const char* notRecordedLegend =
        "gap in a strip: not recorded (change of strip)";

    // Paper laid out on the printable area of `printer`.
    explicit PaperPrinter(platform::PrinterSurface& printer);

    const PaperLayout& layout() const { return layout_; }

    // A fresh page: the grid under the bands and the header above them, one
    // line of text per entry.
    void drawPage(std::span<const std::string> header) const;
    // One piece of a strip of `values`: in its first band the label and the
    // calibration pulse, then the trace as far as the paper goes, broken
    // where `breaks` say. `marks` are drawn under it.
    void drawPiece(const PaperLayout::Piece& piece, std::span<const double> values,
                   const PaperTrace& trace, const std::string& label,
                   std::span<const PaperMark> marks = {},
                   std::span<const PaperBreak> breaks = {}) const;

    // The millimetres a strip of `count` values takes, lead-in and the paper
    // left blank for `lostSeconds` included.
    static double stripLength(int count, double valuesPerSecond, double lostSeconds = 0.0);
    // The value drawn on a strip's baseline.
    static double baselineLevel(std::span<const double> values);

private:
    void drawGrid() const;
    void drawPulse(double left, double baseline, double millimetresPerMillivolt) const;
    void drawTrace(const PaperLayout::Piece& piece, std::span<const double> values,
                   const PaperTrace& trace, std::span<const PaperBreak> breaks) const;
    // The value drawn on a strip's baseline, and where that runs.
    struct Level {
        double value = 0.0;
        double baseline = 0.0;
    };
    // Points `from` to `to` - 1 of a strip, point i at `origin` + i steps.
    void drawRun(std::span<const double> values, int from, int to, double origin,
                 const PaperTrace& trace, const Level& level) const;
    void drawMarks(const PaperLayout::Piece& piece, std::span<const PaperMark> marks,
                   const PaperTrace& trace, std::span<const PaperBreak> breaks) const;
    void drawBreakLabels(const PaperLayout::Piece& piece, const PaperTrace& trace,
                         std::span<const PaperBreak> breaks) const;
    // Where point `i` of a strip lies after its lead-in, in millimetres: its
    // time at the paper's speed, the paper left blank before it included.
    static double pointX(int i, double step, std::span<const PaperBreak> breaks);
    int pixels(double millimetres) const;
    platform::Point at(double x, double y) const;

    platform::PrinterSurface& printer_;
    double pixelsPerMillimetre_;
    PaperLayout layout_;
};

}  // namespace render
