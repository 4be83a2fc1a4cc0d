#include "RecordCopy.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "RecordFormat.h"

namespace records {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool copyLines(std::FILE* in, std::FILE* out) {
    char line[lineBufferSize];
    char text[valueTextSize];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        const std::size_t length = formatValue(parseValue(line), LineEnd::BlankNewline, text);
        if (std::fwrite(text, 1, length, out) != length || std::fflush(out) != 0) {
            return false;
        }
    }
    return std::ferror(in) == 0;
}

}  // namespace

bool copyRecordFile(const std::string& destination, const std::string& source) {
    File in(std::fopen(source.c_str(), "r"));
    if (!in) {
        return false;
    }
    const std::string temporary = destination + ".part";
    File out(std::fopen(temporary.c_str(), "w+"));
    if (!out) {
        return false;
    }
    const bool copied = copyLines(in.get(), out.get()) && ::fsync(fileno(out.get())) == 0;
    const bool closed = std::fclose(out.release()) == 0;
    if (!copied || !closed || std::rename(temporary.c_str(), destination.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace records
