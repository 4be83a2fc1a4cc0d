#pragma once

namespace render {

// A trace's factors: how many pixels it advances per value (the chart speed)
// and how far it moves per unit of value (the gain). A pane of the main
// window advances 4.06 pixels per millimetre.
namespace factors {

// 12.5, 25 and 50 mm/s.
inline constexpr double speedHalf = 1.04;
inline constexpr double speed25 = 2.08;
inline constexpr double speedDouble = 4.16;
// 5, 10 and 20 mm/mV.
inline constexpr double gain5 = 3.7;
inline constexpr double gain10 = 7.4;
inline constexpr double gain20 = 14.8;

// "25   mm/sec" and "5  mm/mV".
inline constexpr double defaultSpeed = speed25;
inline constexpr double defaultGain = gain5;

}  // namespace factors
}  // namespace render
