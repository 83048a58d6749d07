#include "Topics.h"

#include "TextUtil.h"

#include <cctype>

namespace qdl::mqtt {

std::string IdOf(const std::string& name) {
    std::string id;
    for (unsigned char c : name)
        id += std::isalnum(c) || c == '-' ? std::string(1, static_cast<char>(c)) : Format("_%02x", c);
    return id;
}

std::vector<std::string> Levels(const std::string& topic) {
    std::vector<std::string> levels;
    for (std::size_t start = 0;;) {
        const auto end = topic.find('/', start);
        levels.push_back(topic.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return levels;
        start = end + 1;
    }
}

} // namespace qdl::mqtt
