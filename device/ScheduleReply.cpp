#include "ScheduleReply.h"

#include "CommaText.h"
#include "RepeatCode.h"
#include "TextUtil.h"

namespace qdl {
namespace {

// Characters `first` to `last` (counted from 1) of the trimmed item 1; shorter where it ends early.
std::string TimeItemField(const ReplyList& reply, std::size_t first, std::size_t last) {
    const std::string item = Trim(ListItem(reply, 1));
    return first <= item.size() ? item.substr(first - 1, last - first + 1) : std::string();
}

} // namespace

Date ScheduleDate(const ReplyList& reply) {
    return StrToDate(Trim(ListItem(reply, 0)));
}

Time ScheduleTime(const ReplyList& reply) {
    return StrToTime(TimeItemField(reply, 1, 8));
}

int ScheduleRepeatCode(const ReplyList& reply) {
    return StrToIntDef(TimeItemField(reply, 10, 12), 0);
}

int ScheduleRepeatIndex(const ReplyList& reply) {
    return RepeatCodeIndex(ScheduleRepeatCode(reply));
}

int ScheduleOnOffDigit(const ReplyList& reply) {
    return StrToIntDef(TimeItemField(reply, 14, 14), 0);
}

} // namespace qdl
