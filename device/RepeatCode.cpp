#include "RepeatCode.h"

#include <array>

namespace qdl {
namespace {

struct RepeatMode {
    int Code;
    const char* Text;
};

constexpr std::array<RepeatMode, RepeatModeCount> RepeatModes{{
    {0x00, "000"},
    {0x80, "128"},
    {0x7F, "127"},
    {0x1F, "031"},
    {0x60, "096"},
}};

} // namespace

std::string RepeatCodeText(int index) {
    return index >= 0 && index < RepeatModeCount ? RepeatModes[static_cast<std::size_t>(index)].Text
                                                 : RepeatModes[0].Text;
}

int RepeatCodeIndex(int code) {
    for (int index = 0; index < RepeatModeCount; ++index)
        if (RepeatModes[static_cast<std::size_t>(index)].Code == code)
            return index;
    return 0;
}

} // namespace qdl
