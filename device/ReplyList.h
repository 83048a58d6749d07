#pragma once

#include <string>
#include <vector>

namespace qdl {

// The items the switch answered with, in reply order. Empty items and duplicates are kept.
using ReplyList = std::vector<std::string>;

} // namespace qdl
