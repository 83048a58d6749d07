#pragma once

#include <string>

namespace qdl::platform {

// What the user's locale says about dates and numbers, as the system spells it.
struct LocaleFormats {
    std::string ShortDateFormat; // "%d.%m.%Y" where StrftimeStyle, else "dd.MM.yyyy"
    bool StrftimeStyle = true;
    std::string Am = "AM";
    std::string Pm = "PM";
    std::string DecimalSeparator = ".";
};

LocaleFormats UserLocaleFormats();

// The year of the local calendar now.
int CurrentLocalYear();

} // namespace qdl::platform
