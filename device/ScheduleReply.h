#pragma once

#include "Conversions.h"
#include "ReplyList.h"

namespace qdl {

// A GetSchedule reply reads by position: item 0 is the date, item 1 holds the time (characters
// 1-8), the repeat code (10-12) and the on/off digit (14). Each field decodes on its own so a
// caller can show each as soon as it is read; each fails with the conversion's own message.

Date ScheduleDate(const ReplyList& reply);
Time ScheduleTime(const ReplyList& reply);

// The entry's repeat code as the switch wrote it; 0 when it is not a number.
int ScheduleRepeatCode(const ReplyList& reply);

// The repeat-mode list index of the entry's repeat code.
int ScheduleRepeatIndex(const ReplyList& reply);

// 1 for on, 0 for off; any other number the switch wrote is passed on as it is.
int ScheduleOnOffDigit(const ReplyList& reply);

} // namespace qdl
