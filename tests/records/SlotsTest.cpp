#include "records/Slots.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace records {
namespace {

TEST(Slots, FileNames) {
    EXPECT_EQ(slotFileName(1), "REC1.txt");
    EXPECT_EQ(slotFileName(10), "REC10.txt");
    EXPECT_EQ(slotFileName(0), "REC0.txt");
}

TEST(Slots, FirstCheckedSlotInButtonOrder) {
    auto checkedOf = [](std::set<int> checked, std::vector<int>* asked = nullptr) {
        return checkedSlot([checked, asked](int slot) {
            if (asked != nullptr) {
                asked->push_back(slot);
            }
            return checked.count(slot) != 0;
        });
    };
    std::vector<int> asked;
    EXPECT_EQ(checkedOf({}, &asked), 0);
    EXPECT_EQ(asked, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    asked.clear();
    EXPECT_EQ(checkedOf({5, 3}, &asked), 3);
    EXPECT_EQ(asked, (std::vector<int>{1, 2, 3}));

    EXPECT_EQ(checkedOf({1}), 1);
    EXPECT_EQ(checkedOf({10}), 10);
    EXPECT_EQ(checkedOf({0, 11}), 0);  // no such buttons
}

}  // namespace
}  // namespace records
