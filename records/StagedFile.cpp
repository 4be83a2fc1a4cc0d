#include "StagedFile.h"

namespace records {

StagedFile::StagedFile(std::string target, std::string temporary, const ModeSources& sources)
    : file_(std::move(target), std::move(temporary), sources) {}

StagedFile::StagedFile(std::string target, const ModeSources& sources)
    : file_(std::move(target), sources) {}

void StagedFile::write(std::string_view text) {
    counter_.update(text);
    file_.write(text);
}

std::string StagedFile::prepare() {
    return file_.prepare();
}

}  // namespace records
