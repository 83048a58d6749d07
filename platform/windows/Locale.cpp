#include "Locale.h"

#include "Wide.h"

#include <ctime>

namespace qdl::platform {
namespace {

std::string LocaleText(LCTYPE type, const char* fallback) {
    wchar_t text[80];
    const int size = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text, 80);
    return size > 1 ? Narrow(std::wstring(text, static_cast<std::size_t>(size - 1))) : fallback;
}

} // namespace

LocaleFormats UserLocaleFormats() {
    LocaleFormats formats;
    formats.ShortDateFormat = LocaleText(LOCALE_SSHORTDATE, "M/d/yyyy");
    formats.StrftimeStyle = false;
    formats.Am = LocaleText(LOCALE_S1159, "AM");
    formats.Pm = LocaleText(LOCALE_S2359, "PM");
    formats.DecimalSeparator = LocaleText(LOCALE_SDECIMAL, ".");
    return formats;
}

int CurrentLocalYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local.tm_year + 1900;
}

} // namespace qdl::platform
