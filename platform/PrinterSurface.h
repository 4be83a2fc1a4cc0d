#pragma once

#include <memory>
#include <string>

#include "Geometry.h"

class QPrinter;

namespace platform {

// The surface of one print job: a printer (or a PDF file) chosen by the user
// or named by the program, its pages and its pen. One thread at a time uses
// it: the user-interface thread sets it up, the print job's thread draws and
// ends it. Output to a file is written under a temporary name and appears
// under its own name only when the document is complete; an aborted job
// leaves no file behind.
class PrinterSurface {
public:
    enum class Orientation { Landscape, Portrait };

    // A surface for the print dialog to set up, landscape unless the user
    // turns the paper: a strip of a pane's stretch at 25 mm/s is 236 mm long.
    PrinterSurface();
    // A PDF file on A4 paper, without a dialog.
    static std::unique_ptr<PrinterSurface> pdf(const std::string& path,
                                               Orientation orientation = Orientation::Landscape);
    ~PrinterSurface();
    PrinterSurface(const PrinterSurface&) = delete;
    PrinterSurface& operator=(const PrinterSurface&) = delete;

    // The printable area in device pixels, and the device's resolution.
    int width() const;
    int height() const;
    int dotsPerInch() const;

    // A file written for the document gets no wider mode than the file at
    // `path` (the recording it shows).
    void limitModeTo(const std::string& path);
    // Starts the document; nothing drawn leaves the printable area.
    bool beginDocument(const std::string& name);
    bool newPage();
    // Drawing in device pixels of the printable area, with a pen of `colour`
    // and `penWidth` pixels (at least one).
    void line(Point from, Point to, Rgb colour, int penWidth);
    void polyline(const Point* points, int count, Rgb colour, int penWidth);
    // `text` in black, its baseline starting at `at`, letters `pixelHeight`
    // pixels high (the font's size in pixels).
    void text(Point at, const std::string& text, int pixelHeight);
    // Finishes the document (a file then appears under its own name).
    bool endDocument();
    // Abandons the document; nothing of it is printed or kept.
    void abortDocument();

    // For the platform's print dialog.
    QPrinter& printer();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
