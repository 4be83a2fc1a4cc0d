#include "records/RecordFormat.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "records/RecordBuffer.h"
#include "records/RecordCopy.h"
#include "records/SampleFile.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

std::string format(double value, LineEnd end) {
    char text[valueTextSize];
    return {text, formatValue(value, end, text)};
}

std::string printed(const char* pattern, double value) {
    char text[valueTextSize + 16];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// The values worth formatting: ordinary ones, halfway cases of the sixth
// decimal, the extremes of the type, and a spread of random ones.
std::vector<double> sampleValues() {
    std::vector<double> values{0.0,          -0.0,      57.2,      -687.125, 800.875,  0.0000005,
                               2.5e-7,       -2.5e-7,   1.5,       -2.0,     0.1,      1e15 + 0.5,
                               1e-300,       1e300,     -1e300,    DBL_MAX,  -DBL_MAX, DBL_MIN,
                               1234.5678905, 0.9999995, 99.9999999};
    std::mt19937_64 generator(2024);
    std::uniform_real_distribution<double> ordinary(-2000.0, 2000.0);
    std::uniform_real_distribution<double> exponent(-12.0, 20.0);
    for (int i = 0; i < 2000; ++i) {
        values.push_back(ordinary(generator));
        values.push_back(std::pow(10.0, exponent(generator)) * (i % 2 == 0 ? 1 : -1));
    }
    return values;
}

TEST(RecordFormat, WritesWhatPrintfWritesInTheCLocale) {
    for (double value : sampleValues()) {
        ASSERT_EQ(format(value, LineEnd::BlankNewline), printed("%f \n", value)) << value;
        ASSERT_EQ(format(value, LineEnd::Newline), printed("%f\n", value)) << value;
    }
    EXPECT_EQ(format(57.2, LineEnd::BlankNewline), "57.200000 \n");
    EXPECT_EQ(format(-2.0, LineEnd::Newline), "-2.000000\n");
}

TEST(RecordFormat, ReadsWhatStrtodReadsInTheCLocale) {
    // Numbers as the capture and the copies write them, and what else a
    // hand-edited record may hold, hexadecimal included.
    // clang-format off
    const std::vector<std::string> lines{
        "57.200000 \n", "57.200000\r\n", "-687.125000 \n", "800.875000", "  \t 12.5", "+3.25",
        "-0", "1e3", "1E-2", ".5", "5.", "12abc", "abc", "", "\n", " \r\n", "- 5", "--5", "+-5",
        "-+5", "1e", "1e+", "3.14.15", "0x1A", "0X1p3", "-0x.8", "0x1.8p1", "0x", "0x.", "0xg",
        "0x-1", "0x.p1", "0x1p", "-0X10", "1e-310", "4.9e-324", "1e-999", "0.000001",
        "1.7976931348623157e308", "123456789012345678901234567890", std::string(98, '7') + "\n"};
    // clang-format on
    for (const std::string& line : lines) {
        const double expected = std::strtod(line.c_str(), nullptr);
        ASSERT_TRUE(std::isfinite(expected)) << line;
        const double value = parseValue(line);
        EXPECT_EQ(value, expected) << '"' << line << '"';
        EXPECT_EQ(std::signbit(value), std::signbit(expected)) << '"' << line << '"';
    }
}

TEST(RecordFormat, ValuesThatAreNotFiniteReadAsZero) {
    for (const char* line : {"nan", "NAN", "-nan", "nan(0x1)", "inf", "-inf", "+INF", "infinity",
                             "1e999", "-1e999", "1.8e308", "  inf \n"}) {
        EXPECT_EQ(parseValue(line), 0.0) << line;
    }
    EXPECT_EQ(parseValue("-1e-999"), 0.0);  // underflow: 0 like atof (unsigned here)
}

TEST(RecordFormat, FormattedValuesReadBackAsTheirText) {
    for (double value : sampleValues()) {
        const std::string text = format(value, LineEnd::BlankNewline);
        ASSERT_EQ(parseValue(text), std::strtod(text.c_str(), nullptr)) << text;
    }
    EXPECT_EQ(parseValue(format(57.2, LineEnd::Newline)), 57.2);
}

// Switches the process to a locale with a decimal comma, as Qt does from the
// environment, and back to "C" afterwards.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                return;
            }
        }
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, "C"); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool active() const { return active_; }

private:
    bool active_ = false;
};

class RecordFormatLocaleTest : public testsupport::ScratchDirectoryTest {};

TEST_F(RecordFormatLocaleTest, DecimalCommaLocaleChangesNothing) {
    const DecimalCommaLocale locale;
    if (!locale.active()) {
        GTEST_SKIP()
            << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
    }
    ASSERT_EQ(printed("%.1f", 1.5), "1,5");  // the locale really is in effect

    EXPECT_EQ(format(57.2, LineEnd::BlankNewline), "57.200000 \n");
    EXPECT_EQ(format(-687.125, LineEnd::Newline), "-687.125000\n");
    EXPECT_EQ(parseValue("57.200000 \n"), 57.2);
    EXPECT_EQ(parseValue("57,5"), 57.0);  // a comma ends the number, as in the file format

    const std::vector<double> values{57.2, -687.125, 800.875, 0.000001, 123456.5};
    for (double value : values) {
        SampleFile::writeText(format(value, LineEnd::BlankNewline));
        SampleFile::flush();
    }
    SampleFile::close();
    EXPECT_EQ(readFile("REC.txt"),
              "57.200000 \n-687.125000 \n800.875000 \n0.000001 \n123456.500000 \n");

    auto record = std::make_unique<RecordBuffer>();
    record->load(SampleFile());
    ASSERT_EQ(record->count, 5);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(record->samples[i], values[i]) << i;
    }

    writeFile("REC.txt", "1.5\n-2\n");
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(readFile("REC1.txt"), "1.500000 \n-2.000000 \n");
}

}  // namespace
}  // namespace records
