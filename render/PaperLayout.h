#pragma once

#include <span>
#include <vector>

namespace render {

// Where strips go on paper, in millimetres of the printable area. A page
// holds a header and, below it, five bands one under the other. Each strip
// starts at the left of a band of its own; a strip longer than the paper is
// wide goes on in the next band (on the next page after the fifth), and the
// strips after it move down with it. Nothing is ever scaled in time.
class PaperLayout {
public:
    static constexpr int bandsPerPage = 5;
    static constexpr double headerHeight = 16.0;
    // Before a strip's trace: its label and its calibration pulse.
    static constexpr double leadIn = 12.0;

    // One band's share of a strip: the band, counted over all pages, and how
    // far the strip's start lies left of the band's left edge.
    struct Piece {
        int strip = 0;
        int band = 0;
        double shift = 0.0;
        int page() const { return band / bandsPerPage; }
        int bandOnPage() const { return band % bandsPerPage; }
    };

    PaperLayout(double width, double height);

    double width() const { return width_; }
    double height() const { return height_; }
    // Bands are whole multiples of 5 mm, so each lies on the grid.
    double bandHeight() const { return bandHeight_; }
    double bandTop(int bandOnPage) const;
    // Where a strip's baseline runs: low enough in the band for a 1 mV pulse
    // at 20 mm/mV to stay inside it, on a millimetre line.
    double baseline(int bandOnPage) const;
    double bandsBottom() const { return bandTop(bandsPerPage); }

    // The pieces of strips of the given lengths (lead-in included), in the
    // order they go on paper.
    std::vector<Piece> place(std::span<const double> stripLengths) const;
    // Pages the pieces fill; one page when there is nothing to print.
    static int pageCount(std::span<const Piece> pieces);

private:
    double width_;
    double height_;
    double bandHeight_;
};

}  // namespace render
