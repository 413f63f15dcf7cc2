// The text form of the positions kept in the placement INI file:
// "MinMaxPos" = "minx,miny,maxx,maxy", "NormPos" = "left,top,right,bottom".
// Pure functions; used by TFormPlacement.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace placement {

using PositionWords = std::array<int, 4>;

// "%d,%d,%d,%d"
std::string format_position(const PositionWords& values);

// Words 1 to 4 of text, separated by any run of commas and blanks; a word
// that is missing or not a number gives the default at its place.
// "10 20,30,,40" gives 10, 20, 30, 40.
PositionWords parse_position(std::string_view text, const PositionWords& defaults);

// The screen-specific key: name + "(%dx%d)", e.g. "NormPos(1920x1080)".
std::string screen_key(std::string_view name, int screen_width, int screen_height);

}  // namespace placement
