#include "StagedFile.h"

namespace records {

StagedFile::StagedFile(std::string target, std::string temporary)
    : file_(std::move(target), std::move(temporary)) {}

StagedFile::StagedFile(std::string target) : file_(std::move(target)) {}

void StagedFile::write(std::string_view text) {
    counter_.update(text);
    file_.write(text);
}

std::string StagedFile::prepare() {
    return file_.prepare();
}

}  // namespace records
