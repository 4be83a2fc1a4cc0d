#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "records/RecordFormat.h"

namespace testsupport {

// The values of a record file, one per line, read as the program reads them.
inline std::vector<double> readRecordValues(const std::string& name) {
    std::ifstream in(name);
    std::vector<double> values;
    std::string line;
    while (std::getline(in, line)) {
        values.push_back(records::parseValue(line));
    }
    return values;
}

}  // namespace testsupport
