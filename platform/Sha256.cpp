#include "Sha256.h"

#include <QCryptographicHash>

namespace platform {

struct Sha256::State {
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
    state_->hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string Sha256::hex() const {
    return state_->hash.result().toHex().toStdString();
}

}  // namespace platform
