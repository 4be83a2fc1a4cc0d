#include "records/EdfExport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "records/FrontEndCalibration.h"
#include "records/PartialSave.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/RecordText.h"
#include "tests/support/ScratchDirectory.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;
using testsupport::Rig;

// What an independent reader (biosig's save2gdf) finds in an EDF+ file.
struct ReadBack {
    double samplingRate = 0.0;
    long long storedSamples = 0;
    std::string unit;
    std::string label;
    double endOfRecording = -1.0;
    std::vector<double> millivolts;
};

std::string field(const std::string& json, const std::string& key, std::size_t from = 0) {
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

ReadBack readWithBiosig(const std::string& edf) {
    ReadBack r;
    const std::string json = edf + ".json";
    const std::string csv = edf + ".csv";
    if (std::system(("save2gdf -JSON '" + edf + "' > '" + json + "' 2>/dev/null").c_str()) != 0 ||
        std::system(("save2gdf -CSV '" + edf + "' '" + csv + "' > /dev/null 2>&1").c_str()) != 0) {
        return r;
    }
    const std::string header = testsupport::readFile(json);
    r.samplingRate = std::atof(field(header, "Samplingrate").c_str());
    r.storedSamples = std::atoll(field(header, "NumberOfSamples").c_str());
    const std::size_t channel = header.find("\"CHANNEL\"");
    r.label = field(header, "Label", channel);
    r.unit = field(header, "PhysicalUnit", channel);
    const std::size_t end = header.find("end of recording");
    if (end != std::string::npos) {
        r.endOfRecording = std::atof(field(header, "POS", header.rfind("\"TYP\"", end)).c_str());
    }
    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);  // the column title
    while (std::getline(in, line)) {
        r.millivolts.push_back(std::atof(line.c_str()));
    }
    return r;
}

// A recording of seven panes from the simulator, as the capture stores it.
void recordSevenPanes() {
    Rig rig(nullptr);
    ASSERT_TRUE(rig.painter->startCapture());
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (rig.painter->isRecording() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(rig.painter->isRecording());
}

void expectReadsBackAs(const std::string& record) {
    std::vector<double> values = testsupport::readRecordValues(record);
    ASSERT_FALSE(values.empty());
    records::decodeRecord(values);
    const records::EdfExport edf(199680, 4096);
    ASSERT_EQ(edf.write(record, "out.edf"), "");
    const ReadBack back = readWithBiosig("out.edf");
    EXPECT_DOUBLE_EQ(back.samplingRate, 48.75);
    EXPECT_EQ(back.label, "ECG");
    EXPECT_EQ(back.unit, "mV");
    // Whole data records of 4 s (195 samples), the last padded; the
    // annotation marks the true end.
    EXPECT_EQ(back.storedSamples, (static_cast<long long>(values.size()) + 194) / 195 * 195);
    EXPECT_NEAR(back.endOfRecording * 48.75, static_cast<double>(values.size()), 0.01);
    ASSERT_GE(back.millivolts.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double expected = records::calibration::toMillivolts(values[i]);
        ASSERT_NEAR(back.millivolts[i], expected, 0.001 + 1e-9) << "sample " << i;
    }
}

TEST(EdfExport, ASimulatorRecordingReadsBackInMillivolts) {
    testsupport::ScratchDirectory scratch;
    recordSevenPanes();
    EXPECT_EQ(testsupport::readRecordValues("REC.txt").size(),
              static_cast<std::size_t>(7 * 461 - 5));
    expectReadsBackAs("REC.txt");
}

TEST(EdfExport, FilteredAndTrimmedRecordingsReadBackToo) {
    testsupport::ScratchDirectory scratch;
    recordSevenPanes();
    {
        Rig rig(nullptr);
        ASSERT_EQ(rig.painter->filterAndShow(0), "");
    }
    ASSERT_EQ(records::detectEncoding(testsupport::readRecordValues("REC.txt")),
              records::Encoding::Filter1000);
    expectReadsBackAs("REC.txt");
    ASSERT_EQ(records::keepLines({101, 1500}, 48.75).status,
              records::PartialSaveOutcome::Status::Saved);
    expectReadsBackAs("REC.txt");
}

TEST(EdfExport, TheFileDoesNotDependOnTheLocale) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream record("REC1.txt");
        for (int i = 0; i < 500; ++i) {
            record << (i % 2 == 0 ? 801.25 : -686.75) + 0.125 * (i % 7) << " \n";
        }
    }
    const records::EdfExport edf(199680, 4096);
    ASSERT_EQ(edf.write("REC1.txt", "c.edf"), "");
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no decimal-comma locale on this machine";
    }
    const std::string reason = edf.write("REC1.txt", "de.edf");
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_EQ(reason, "");
    EXPECT_EQ(testsupport::readFile("de.edf"), testsupport::readFile("c.edf"));
    // The header's fields, as the format lays them out.
    const std::string header = testsupport::readFile("c.edf").substr(0, 256);
    EXPECT_EQ(header.substr(8, 8), "X X X X ");
    EXPECT_EQ(header.compare(88, 10, "Startdate "), 0);
    EXPECT_NE(header.find("X X trelmont-ecg"), std::string::npos);
    EXPECT_EQ(header.compare(192, 5, "EDF+C"), 0);
}

TEST(EdfExport, ValuesBecomeMicrovoltsAndAreClippedNotWrapped) {
    EXPECT_EQ(records::EdfExport::digitalValue(57.2), 0);
    EXPECT_EQ(records::EdfExport::digitalValue(57.2 + 5.48), 1000);
    EXPECT_EQ(records::EdfExport::digitalValue(57.2 - 2.74), -500);
    EXPECT_EQ(records::EdfExport::digitalValue(1e6), 32767);
    EXPECT_EQ(records::EdfExport::digitalValue(-1e6), -32767);
    const records::EdfExport edf(199680, 4096);
    EXPECT_EQ(edf.recordSeconds(), 4);
    EXPECT_EQ(edf.samplesPerRecord(), 195);
    EXPECT_DOUBLE_EQ(edf.samplesPerSecond(), 48.75);
}

TEST(EdfExport, NothingIsWrittenForARecordThatCannotBeRead) {
    testsupport::ScratchDirectory scratch;
    const records::EdfExport edf(199680, 4096);
    EXPECT_NE(edf.write("missing.txt", "a.edf"), "");
    std::ofstream("empty.txt").close();
    EXPECT_NE(edf.write("empty.txt", "a.edf"), "");
    EXPECT_NE(edf.write(".", "a.edf"), "");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) {
        ++files;
    }
    EXPECT_EQ(files, 1u);  // empty.txt
}

}  // namespace
}  // namespace acquisition
