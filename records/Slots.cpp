#include "Slots.h"

namespace records {

std::string slotFileName(int slot) {
    return "REC" + std::to_string(slot) + ".txt";
}

int checkedSlot(const std::function<bool(int slot)>& isChecked) {
    for (int slot = 1; slot <= slotCount; ++slot) {
        if (isChecked(slot)) {
            return slot;
        }
    }
    return 0;
}

}  // namespace records
