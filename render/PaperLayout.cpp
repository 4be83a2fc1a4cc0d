#include "PaperLayout.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {

constexpr double gridStep = 5.0;
constexpr double smallestBand = 10.0;
// From the band's top to the baseline, as a share of the band.
constexpr double baselineDepth = 0.65;

}  // namespace

PaperLayout::PaperLayout(double width, double height)
    : width_(width),
      height_(height),
      bandHeight_(std::max(
          smallestBand, std::floor((height - headerHeight) / bandsPerPage / gridStep) * gridStep)) {
}

double PaperLayout::bandTop(int bandOnPage) const {
    return headerHeight + bandOnPage * bandHeight_;
}

double PaperLayout::baseline(int bandOnPage) const {
    return bandTop(bandOnPage) + std::round(bandHeight_ * baselineDepth);
}

std::vector<PaperLayout::Piece> PaperLayout::place(std::span<const double> stripLengths) const {
    std::vector<Piece> pieces;
    int band = 0;
    for (std::size_t strip = 0; strip < stripLengths.size(); ++strip) {
        const double length = stripLengths[strip];
        double shift = 0.0;
        do {
            pieces.push_back({static_cast<int>(strip), band, shift});
            band += 1;
            shift += width_;
        } while (width_ > 0.0 && shift < length);
    }
    return pieces;
}

int PaperLayout::pageCount(std::span<const Piece> pieces) {
    return pieces.empty() ? 1 : pieces.back().page() + 1;
}

}  // namespace render
