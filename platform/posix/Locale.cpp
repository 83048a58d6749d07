#include "Locale.h"

#include <langinfo.h>
#include <locale.h>

#include <ctime>
#include <memory>
#include <type_traits>

namespace qdl::platform {
namespace {

struct LocaleDeleter {
    void operator()(locale_t locale) const { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

// LC_TIME and LC_NUMERIC of the environment.
LocaleHandle UserLocale() {
    locale_t locale = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "", nullptr);
    if (locale == nullptr)
        locale = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK, "C", nullptr);
    return LocaleHandle(locale);
}

} // namespace

LocaleFormats UserLocaleFormats() {
    LocaleFormats formats;
    const LocaleHandle locale = UserLocale();
    if (!locale)
        return formats;
    formats.ShortDateFormat = nl_langinfo_l(D_FMT, locale.get());
    formats.Am = nl_langinfo_l(AM_STR, locale.get());
    formats.Pm = nl_langinfo_l(PM_STR, locale.get());
    formats.DecimalSeparator = nl_langinfo_l(RADIXCHAR, locale.get());
    return formats;
}

int CurrentLocalYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

} // namespace qdl::platform
