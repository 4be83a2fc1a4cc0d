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
    // A surface for the print dialog to set up.
    PrinterSurface();
    // A PDF file on A4 paper, without a dialog.
    static std::unique_ptr<PrinterSurface> pdf(const std::string& path);
    ~PrinterSurface();
    PrinterSurface(const PrinterSurface&) = delete;
    PrinterSurface& operator=(const PrinterSurface&) = delete;

    // The printable area in device pixels, and the device's resolution.
    int width() const;
    int height() const;
    int dotsPerInch() const;

    bool beginDocument(const std::string& name);
    bool newPage();
    // A polyline in device pixels of the printable area, with a thin black pen.
    void polyline(const Point* points, int count);
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
