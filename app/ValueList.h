#pragma once

#include <string>
#include <vector>

#include "platform/MainDialog.h"

namespace app {

// A drop-down list of the main window together with the numbers behind its
// entries: an integer and a real per entry.
class ValueList {
public:
    static constexpr int capacity = 32;

    ValueList(platform::MainDialog& dialog, int controlId);

    // Adds the number as "%d" and records it as the entry's integer.
    void addInteger(int value);
    // Adds a label such as "25   mm/sec" unchanged; the number before its
    // first blank is mapped to the factor it stands for (chart speeds and
    // gains) and recorded as the entry's real.
    void addLabel(const std::string& text);
    void select(int index);
    int selectedInteger() const;
    double selectedReal() const;
    int count() const { return static_cast<int>(integers_.size()); }

    // The factor a label's leading number stands for, the number itself when
    // it stands for none.
    static double factorOf(double labelNumber);

private:
    int selectedIndex() const;

    platform::MainDialog& dialog_;
    int controlId_;
    std::vector<int> integers_;
    std::vector<double> reals_;
};

}  // namespace app
