#pragma once

#include <functional>
#include <string>

namespace records {

inline constexpr int slotCount = 10;

// "REC%d.txt" with the slot number; 0 names the file written when no slot
// button is checked.
std::string slotFileName(int slot);

// The number (1 to 10) of the first slot, in button order, that reports
// itself checked; 0 when none does.
int checkedSlot(const std::function<bool(int slot)>& isChecked);

}  // namespace records
