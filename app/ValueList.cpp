#include "ValueList.h"

#include "render/TraceFactors.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

namespace app {

namespace {

// Chart speeds in mm/s and gains in mm/mV, and the trace factors they give.
constexpr std::array<std::pair<double, double>, 6> factors = {{
    {5.0, render::factors::gain5},
    {10.0, render::factors::gain10},
    {20.0, render::factors::gain20},
    {12.5, render::factors::speedHalf},
    {25.0, render::factors::speed25},
    {50.0, render::factors::speedDouble},
}};

// The number at the start of a label, read independently of the locale.
double leadingNumber(const std::string& text) {
    const std::size_t blank = text.find(' ');
    const std::string head = text.substr(0, blank);
    double value = 0.0;
    std::from_chars(head.data(), head.data() + head.size(), value);
    return value;
}

}  // namespace

ValueList::ValueList(platform::MainDialog& dialog, int controlId)
    : dialog_(dialog), controlId_(controlId) {}

double ValueList::factorOf(double labelNumber) {
    for (const auto& [number, factor] : factors) {
        if (number == labelNumber) {
            return factor;
        }
    }
    return labelNumber;
}

void ValueList::addInteger(int value) {
    if (count() >= capacity) {
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    dialog_.addListEntry(controlId_, text);
    integers_.push_back(value);
    reals_.push_back(static_cast<double>(value));
}

void ValueList::addLabel(const std::string& text) {
    if (count() >= capacity) {
        return;
    }
    dialog_.addListEntry(controlId_, text);
    const double number = leadingNumber(text);
    integers_.push_back(static_cast<int>(number));
    reals_.push_back(factorOf(number));
}

void ValueList::select(int index) {
    dialog_.selectListEntry(controlId_, index);
}

int ValueList::selectedIndex() const {
    const int index = dialog_.listSelection(controlId_);
    return index >= 0 && index < count() ? index : -1;
}

int ValueList::selectedInteger() const {
    const int index = selectedIndex();
    return index < 0 ? 0 : integers_[static_cast<std::size_t>(index)];
}

double ValueList::selectedReal() const {
    const int index = selectedIndex();
    return index < 0 ? 0.0 : reals_[static_cast<std::size_t>(index)];
}

}  // namespace app
