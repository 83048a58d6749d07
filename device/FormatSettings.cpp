#include "FormatSettings.h"

#include "Locale.h"

namespace qdl {
namespace {

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
    const platform::LocaleFormats formats = platform::UserLocaleFormats();
    FormatSettings settings;
    settings.Order = DateOrderOfFormat(formats.StrftimeStyle ? FieldLettersOf(formats.ShortDateFormat)
                                                             : formats.ShortDateFormat);
    settings.TimeAMString = formats.Am;
    settings.TimePMString = formats.Pm;
    if (formats.DecimalSeparator.size() == 1)
        settings.DecimalSeparator = formats.DecimalSeparator[0];
    return settings;
}

FormatSettings& ProcessFormatSettings() {
    static FormatSettings settings = LocaleFormatSettings();
    return settings;
}

} // namespace qdl
