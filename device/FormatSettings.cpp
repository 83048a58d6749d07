#include "FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <memory>

namespace qdl {
namespace {

struct LocaleDeleter {
    void operator()(locale_t locale) const { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

LocaleHandle UserLocale() {
    locale_t locale = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "", nullptr);
    if (locale == nullptr)
        locale = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "C", nullptr);
    return LocaleHandle(locale);
}

char FieldLetter(char conversion) {
    switch (conversion) {
    case 'd':
    case 'e':
        return 'D';
    case 'm':
    case 'b':
    case 'B':
    case 'h':
    case 'D': // %m/%d/%y
        return 'M';
    case 'y':
    case 'Y':
    case 'C':
    case 'G':
    case 'g':
    case 'F': // %Y-%m-%d
        return 'Y';
    default:
        return 0;
    }
}

} // namespace

std::string FieldLettersOf(const std::string& strftimeFormat) {
    std::string letters;
    for (std::size_t i = 0; i + 1 < strftimeFormat.size(); ++i) {
        if (strftimeFormat[i] != '%')
            continue;
        char conversion = strftimeFormat[++i];
        const bool era = conversion == 'E';
        if ((conversion == 'E' || conversion == 'O') && i + 1 < strftimeFormat.size())
            conversion = strftimeFormat[++i];
        char letter = FieldLetter(conversion);
        if (era && letter == 'Y')
            letter = 'E';
        if (letter != 0)
            letters += letter;
    }
    return letters;
}

DateOrder DateOrderOfFormat(const std::string& shortDateFormat) {
    for (char c : shortDateFormat) {
        switch (c) {
        case 'D':
        case 'd':
            return DateOrder::DayMonthYear;
        case 'Y':
        case 'y':
        case 'E':
        case 'e':
            return DateOrder::YearMonthDay;
        case 'M':
        case 'm':
            return DateOrder::MonthDayYear;
        default:
            break;
        }
    }
    return DateOrder::MonthDayYear;
}

FormatSettings LocaleFormatSettings() {
    FormatSettings settings;
    const LocaleHandle locale = UserLocale();
    if (!locale)
        return settings;
    settings.Order = DateOrderOfFormat(FieldLettersOf(nl_langinfo_l(D_FMT, locale.get())));
    settings.TimeAMString = nl_langinfo_l(AM_STR, locale.get());
    settings.TimePMString = nl_langinfo_l(PM_STR, locale.get());
    const std::string radix = nl_langinfo_l(RADIXCHAR, locale.get());
    if (radix.size() == 1)
        settings.DecimalSeparator = radix[0];
    return settings;
}

FormatSettings& ProcessFormatSettings() {
    static FormatSettings settings = LocaleFormatSettings();
    return settings;
}

} // namespace qdl
