#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "RecordFormat.h"

namespace records {

// The one process-wide handle on the working recording "REC.txt". All state is
// static and shared; an instance is only a handle onto it, and destroying any
// instance closes the file (a loader that takes its SampleFile by value leaves
// the working file closed when it returns).
//
// The capture worker appends to the file while the user-interface thread may
// load it. Every operation takes one process-wide lock, so no thread ever
// reads from or writes to a stream that the other has closed; a sequence that
// must not be interleaved (a whole load) holds a Session for its duration.
class SampleFile {
public:
    static constexpr const char* workingFileName = "REC.txt";

    SampleFile() = default;
    SampleFile(const SampleFile&) = default;
    SampleFile& operator=(const SampleFile&) = default;
    ~SampleFile() { close(); }

    // Holds the shared state for a sequence of operations. Re-entrant.
    class Session {
    public:
        Session();

    private:
        std::unique_lock<std::recursive_mutex> lock_;
    };

    // Why a file cannot serve as a record file (it exists and is not a
    // regular file, or is a link); empty when it can, or does not exist yet.
    // The opens below leave such a file alone, and never follow a link.
    static std::string notARecordFile(const std::string& name);
    // Opens only while nothing is open: "r" or "w+" (create, or empty).
    static void openRead(const std::string& name);
    static void openWrite(const std::string& name);
    // Opens with "a+", or "w+" if that fails, whatever is open already.
    static void openAppend(const std::string& name);
    // Reads one line as fgets does with a buffer of 100 characters (at most 99
    // a read). False at the end of the file, on an error, or when closed.
    static bool readLine(std::string& line);
    // Appends the text and hands it to the system at once; opens the working
    // file for appending when nothing is open. Returns 0, or the system's
    // error number when the text could not be written whole: the file is then
    // cut back to where the text began, so no partial number is left at its
    // end.
    static int appendText(std::string_view text);
    // appendText() == 0.
    static bool writeText(std::string_view text);
    static void flush();
    static void rewind();
    static void close();

    static bool isOpen();
    static int openCount();
    static const std::string& fileName();

private:
    static void openGuarded(const std::string& name, const char* mode);
    static void keep(std::FILE* stream, bool writing);
};

}  // namespace records
