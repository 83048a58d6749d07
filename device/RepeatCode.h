#pragma once

#include <string>

namespace qdl {

// The switch's repeat codes, indexed by the schedule page's repeat-mode list:
// 0 Disable "000", 1 Just Once "128", 2 Everyday "127", 3 Monday to Friday "031",
// 4 Saturday & Sunday "096".
inline constexpr int RepeatModeCount = 5;

// The code sent for a list index; "000" for an index outside the list.
std::string RepeatCodeText(int index);

// The list index of a code read from the switch; 0 for every code the switch does not define.
int RepeatCodeIndex(int code);

} // namespace qdl
