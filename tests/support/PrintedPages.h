#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

// A PDF page as pdftoppm renders it, in colour: at 254 dpi ten pixels make
// a millimetre.
struct PrintedPage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* pixel(int x, int y) const {
        return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)) *
                    3];
    }
    // The trace and the text: black.
    bool ink(int x, int y) const {
        const unsigned char* p = pixel(x, y);
        return p[0] < 110 && p[1] < 110 && p[2] < 110;
    }
    // The grid: red clearly above green and blue, lighter than the trace.
    bool grid(int x, int y) const {
        const unsigned char* p = pixel(x, y);
        return p[0] > 150 && p[0] - p[1] > 20 && p[0] - p[2] > 20;
    }
    int green(int x, int y) const { return pixel(x, y)[1]; }
    int inkInRow(int y, int left = 0, int right = -1) const {
        int count = 0;
        for (int x = left; x < (right < 0 ? width : right); ++x) {
            count += ink(x, y) ? 1 : 0;
        }
        return count;
    }
};

inline std::vector<PrintedPage> renderPdf(const std::string& pdf, int dpi) {
    const std::string prefix = pdf + ".page";
    const std::string command =
        "pdftoppm -r " + std::to_string(dpi) + " '" + pdf + "' '" + prefix + "' 2>/dev/null";
    std::vector<PrintedPage> pages;
    if (std::system(command.c_str()) != 0) {
        return pages;
    }
    for (int number = 1;; ++number) {
        // pdftoppm numbers pages with as many digits as the last page needs.
        std::ifstream in(prefix + "-" + std::to_string(number) + ".ppm", std::ios::binary);
        if (!in) {
            break;
        }
        std::string magic;
        PrintedPage page;
        int maxValue = 0;
        in >> magic >> page.width >> page.height >> maxValue;
        in.get();
        page.rgb.resize(static_cast<std::size_t>(page.width) * page.height * 3);
        in.read(reinterpret_cast<char*>(page.rgb.data()),
                static_cast<std::streamsize>(page.rgb.size()));
        pages.push_back(std::move(page));
    }
    return pages;
}

// The text of a PDF, as pdftotext reads it.
inline std::string pdfText(const std::string& pdf) {
    const std::string out = pdf + ".txt";
    if (std::system(("pdftotext '" + pdf + "' '" + out + "' 2>/dev/null").c_str()) != 0) {
        return {};
    }
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A grid line that a scan crosses: where its middle lies and how dark its
// darkest pixel is (the green channel: lower is a stronger line).
struct GridLine {
    double centre = 0.0;
    int green = 255;
};

// The grid lines along a row (`alongRow`) or a column, from `from` to `to`.
inline std::vector<GridLine> gridLines(const PrintedPage& page, bool alongRow, int at, int from,
                                       int to) {
    std::vector<GridLine> lines;
    int start = -1;
    int green = 255;
    for (int i = from; i <= to; ++i) {
        const int x = alongRow ? i : at;
        const int y = alongRow ? at : i;
        const bool on = i < to && page.grid(x, y);
        if (on) {
            start = start < 0 ? i : start;
            green = std::min(green, page.green(x, y));
        } else if (start >= 0) {
            lines.push_back({(start + i - 1) / 2.0, green});
            start = -1;
            green = 255;
        }
    }
    return lines;
}

// Rows where a flat trace runs: each run of rows from `fromRow` on holding at
// least `minInk` black pixels, by its middle.
inline std::vector<double> traceBaselines(const PrintedPage& page, int minInk, int fromRow = 0) {
    std::vector<double> rows;
    int start = -1;
    for (int y = fromRow; y <= page.height; ++y) {
        const bool on = y < page.height && page.inkInRow(y) >= minInk;
        if (on && start < 0) {
            start = y;
        } else if (!on && start >= 0) {
            rows.push_back((start + y - 1) / 2.0);
            start = -1;
        }
    }
    return rows;
}

// Something the trace draws above its baseline (a spike, the calibration
// pulse): the columns it spans and its top edge.
struct Rise {
    int left = 0;
    int right = 0;
    int top = 0;
    double middle() const { return (left + right) / 2.0; }
};

// The rises reaching higher than `minHeight` pixels above `baseline` (and no
// higher than `maxHeight`, where text may lie), left to right.
inline std::vector<Rise> risesAbove(const PrintedPage& page, double baseline, int minHeight,
                                    int maxHeight) {
    std::vector<Rise> rises;
    const int highest = std::max(0, static_cast<int>(baseline) - maxHeight);
    const int lowest = static_cast<int>(baseline) - minHeight;
    bool inside = false;
    for (int x = 0; x <= page.width; ++x) {
        int top = -1;
        for (int y = highest; x < page.width && y <= lowest && top < 0; ++y) {
            top = page.ink(x, y) ? y : -1;
        }
        if (top >= 0 && !inside) {
            rises.push_back({x, x, top});
            inside = true;
        } else if (top >= 0) {
            rises.back().right = x;
            rises.back().top = std::min(rises.back().top, top);
        } else {
            inside = false;
        }
    }
    return rises;
}

}  // namespace testsupport
