#pragma once

#include <string_view>

namespace resources {

// The button icons as SVG, drawn at whatever size and screen scale they are
// shown. The window's own icon is the program's icon (ApplicationIcon.h).

// 109, About button: a blue disc with a white i.
inline constexpr std::string_view aboutIconSvg =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">)"
    R"(<circle cx="12" cy="12" r="11" fill="#1F62C4" stroke="#103F8A" stroke-width="1"/>)"
    R"(<circle cx="12" cy="6.6" r="1.7" fill="#FFFFFF"/>)"
    R"(<path d="M9.8 10h3.4v7h1.4v1.6H9.4V17h1.4v-5.4h-1z" fill="#FFFFFF"/></svg>)";

// 1030, ready to record: a red record dot crossed by a white heartbeat.
inline constexpr std::string_view readyIconSvg =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32">)"
    R"(<circle cx="16" cy="16" r="14.8" fill="#D81E2C" stroke="#8E0F1A" stroke-width="1.2"/>)"
    R"(<polyline points="4,17.5 12,17.5 13.8,14.5 15.4,7.5 17.2,23.5 18.8,17.5 28,17.5")"
    R"( fill="none" stroke="#FFFFFF" stroke-width="2.2" stroke-linejoin="round")"
    R"( stroke-linecap="round"/></svg>)";

// 1031, recording: a red stop square crossed by a white heartbeat.
inline constexpr std::string_view recordingIconSvg =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32">)"
    R"(<rect x="4.6" y="4.6" width="22.8" height="22.8" rx="1.6" fill="#D81E2C")"
    R"( stroke="#8E0F1A" stroke-width="1.2"/>)"
    R"(<polyline points="6.5,17.5 12,17.5 13.8,14.5 15.4,8.5 17.2,22.5 18.8,17.5 25.5,17.5")"
    R"( fill="none" stroke="#FFFFFF" stroke-width="2.2" stroke-linejoin="round")"
    R"( stroke-linecap="round"/></svg>)";

// The SVG of an icon id, or empty if there is no such icon.
inline constexpr std::string_view iconSvg(int id) {
    switch (id) {
        case 109:
            return aboutIconSvg;
        case 1030:
            return readyIconSvg;
        case 1031:
            return recordingIconSvg;
        default:
            return {};
    }
}

}  // namespace resources
