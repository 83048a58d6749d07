#pragma once

#include "ReplyList.h"

#include <string>

namespace qdl {

// Replaces the list's items by the items of a comma text: blanks and commas separate items,
// double quotes enclose items that hold them.
void SplitCommaText(ReplyList& list, const std::string& text);

// The inverse of SplitCommaText: items separated by commas, quoted where they need it.
std::string JoinCommaText(const ReplyList& list);

// Cuts the payload between "<html>" and "</html>" out of a split reply, in place.
ReplyList& StripHtmlReply(ReplyList& list);

// The text after the first "=" of the first item named `name` (case-insensitive); empty when none is.
std::string NamedValue(const ReplyList& list, const std::string& name);

// The item at `index`, or the list-index failure when the list is shorter.
const std::string& ListItem(const ReplyList& list, int index);

} // namespace qdl
