#pragma once

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "records/EdfExport.h"
#include "tests/support/ScratchDirectory.h"

namespace testsupport {

// What an independent reader (biosig's save2gdf) finds in an EDF+ file.
struct ReadBack {
    double samplingRate = 0.0;
    long long storedSamples = 0;
    std::string unit;
    std::string label;
    double endOfRecording = -1.0;
    // Stretches not recorded and bridged: where, and how long, in seconds.
    std::vector<std::pair<double, double>> bridges;
    // Stretches without the front end's tone, with a doubtful one, and
    // sound lost, likewise.
    std::vector<std::pair<double, double>> withoutTone;
    std::vector<std::pair<double, double>> doubtful;
    std::vector<std::pair<double, double>> lost;
    std::vector<double> millivolts;
};

inline std::string field(const std::string& json, const std::string& key, std::size_t from = 0) {
    const std::size_t at = json.find("\"" + key + "\"", from);
    if (at == std::string::npos) {
        return {};
    }
    std::size_t start = json.find(':', at) + 1;
    while (json[start] == ' ' || json[start] == '\t' || json[start] == '"') {
        ++start;
    }
    std::size_t end = start;
    while (end < json.size() && json[end] != ',' && json[end] != '"' && json[end] != '\n') {
        ++end;
    }
    return json.substr(start, end - start);
}

inline ReadBack readWithBiosig(const std::string& edf) {
    ReadBack r;
    const std::string json = edf + ".json";
    const std::string csv = edf + ".csv";
    if (std::system(("save2gdf -JSON '" + edf + "' > '" + json + "' 2>/dev/null").c_str()) != 0 ||
        std::system(("save2gdf -CSV '" + edf + "' '" + csv + "' > /dev/null 2>&1").c_str()) != 0) {
        return r;
    }
    const std::string header = readFile(json);
    r.samplingRate = std::atof(field(header, "Samplingrate").c_str());
    r.storedSamples = std::atoll(field(header, "NumberOfSamples").c_str());
    const std::size_t channel = header.find("\"CHANNEL\"");
    r.label = field(header, "Label", channel);
    r.unit = field(header, "PhysicalUnit", channel);
    const std::size_t end = header.find("end of recording");
    if (end != std::string::npos) {
        r.endOfRecording = std::atof(field(header, "POS", header.rfind("\"TYP\"", end)).c_str());
    }
    const auto events = [&header](const std::string& text) {
        std::vector<std::pair<double, double>> found;
        for (std::size_t at = header.find(text); at != std::string::npos;
             at = header.find(text, at + 1)) {
            const std::size_t event = header.rfind("\"TYP\"", at);
            found.emplace_back(std::atof(field(header, "POS", event).c_str()),
                               std::atof(field(header, "DUR", event).c_str()));
        }
        return found;
    };
    r.bridges = events(records::EdfExport::bridgeAnnotation);
    r.withoutTone = events(records::EdfExport::withoutToneAnnotation);
    r.doubtful = events(records::EdfExport::doubtfulToneAnnotation);
    r.lost = events(records::EdfExport::droppedAnnotation);
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);  // the column title
    while (std::getline(in, line)) {
        r.millivolts.push_back(std::atof(line.c_str()));
    }
    return r;
}

// The start an EDF+ file's header gives (local time to the second), in
// seconds since the epoch.
inline double edfStartSeconds(const std::string& edf) {
    std::ifstream in(edf, std::ios::binary);
    std::string header(256, '\0');
    in.read(header.data(), 256);
    std::tm local{};
    local.tm_mday = std::stoi(header.substr(168, 2));
    local.tm_mon = std::stoi(header.substr(171, 2)) - 1;
    local.tm_year = std::stoi(header.substr(174, 2)) + 100;
    local.tm_hour = std::stoi(header.substr(176, 2));
    local.tm_min = std::stoi(header.substr(179, 2));
    local.tm_sec = std::stoi(header.substr(182, 2));
    local.tm_isdst = -1;
    return static_cast<double>(std::mktime(&local));
}

}  // namespace testsupport
