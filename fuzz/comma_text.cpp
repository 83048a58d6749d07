// Splitting and joining comma text: a join splits back into the same items (where no item holds
// a control character), and a second round changes nothing.
#include "CommaText.h"
#include "FuzzCheck.h"
#include "TextUtil.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    qdl::ReplyList items;
    qdl::SplitCommaText(items, text);
    const std::string joined = qdl::JoinCommaText(items);
    qdl::ReplyList again;
    qdl::SplitCommaText(again, joined);
    if (std::none_of(items.begin(), items.end(),
                     [](const std::string& item) { return qdl::HasControlCharacter(item); }))
        FUZZ_CHECK(again == items);
    qdl::ReplyList third;
    qdl::SplitCommaText(third, qdl::JoinCommaText(again));
    FUZZ_CHECK(third == again);

    qdl::ReplyList stripped = items;
    qdl::StripHtmlReply(stripped);
    qdl::NamedValue(stripped, "P60");
    return 0;
}
