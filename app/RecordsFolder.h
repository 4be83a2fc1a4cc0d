#pragma once

#include <filesystem>
#include <string>

#include "CommandLine.h"

namespace app {

// The folder that holds the working recording and the slots. The program
// works in it as its current directory, so every record file name stays the
// plain name the rest of the program uses. Without --records or --documents
// it is the directory the program was started in.
class RecordsFolder {
public:
    // An empty path stands for the current directory.
    explicit RecordsFolder(std::filesystem::path folder);
    // The folder the command line names (--documents: "ECG recordings" in the
    // user's documents folder).
    static RecordsFolder fromCommandLine(const CommandLine& line);

    // Creates the folder if it is missing (open to its owner alone: 0700)
    // and makes it the current directory. Returns why that failed, empty on
    // success.
    std::string enter() const;
    // Whether a file can be created in the current directory: the reason it
    // cannot, naming the folder, empty when it can.
    static std::string checkWritable();

private:
    std::filesystem::path folder_;
};

}  // namespace app
