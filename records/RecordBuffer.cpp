#include "RecordBuffer.h"

#include <string>

namespace records {

RecordBuffer::RecordBuffer() {
    samples.fill(fillLevel);
    filtered.fill(fillLevel);
}

void RecordBuffer::load(SampleFile file) {
    // The whole load is one session: a capture append cannot fall between the
    // rewind and the last read, and finds the file closed afterwards.
    SampleFile::Session session;
    if (SampleFile::openCount() == 0) {
        file.openRead(SampleFile::fileName());
    }
    file.rewind();
    samples.fill(fillLevel);
    std::string line;
    int i = 0;
    while (i < capacity && file.readLine(line)) {
        samples[static_cast<std::size_t>(i)] = parseValue(line);
        ++i;
    }
    count = i;
    // Close inside the session: the by-value handle closes again on return,
    // but only after the session is over, and a capture append that came in
    // between would find the file still open for reading and be lost.
    file.close();
}

}  // namespace records
