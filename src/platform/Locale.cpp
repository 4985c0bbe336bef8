#include "platform/Locale.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>

namespace morvane::platform {

namespace {
std::string Item(nl_item item)
{
    const char* text = ::nl_langinfo(item);
    return text != nullptr ? std::string(text) : std::string();
}
} // namespace

LocaleDateTimeData CurrentLocaleDateTimeData()
{
    static const nl_item shortMonths[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                            ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    static const nl_item longMonths[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                           MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
    static const nl_item shortDays[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
    static const nl_item longDays[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};

    LocaleDateTimeData data;
    data.dateFormat = Item(D_FMT);
    data.timeFormat = Item(T_FMT);
    data.dateTimeFormat = Item(D_T_FMT);
    data.amString = Item(AM_STR);
    data.pmString = Item(PM_STR);
    for (std::size_t i = 0; i < 12; ++i) {
        data.shortMonthNames[i] = Item(shortMonths[i]);
        data.longMonthNames[i] = Item(longMonths[i]);
    }
    for (std::size_t i = 0; i < 7; ++i) {
        data.shortDayNames[i] = Item(shortDays[i]);
        data.longDayNames[i] = Item(longDays[i]);
    }
    return data;
}

std::string UseUtf8Locale()
{
    std::setlocale(LC_ALL, "");
    const std::string codeset = nl_langinfo(CODESET);
    if (codeset == "UTF-8")
        return codeset;
    ::setenv("LC_ALL", "C.UTF-8", 1);
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr)
        return codeset;
    return nl_langinfo(CODESET);
}

} // namespace morvane::platform
