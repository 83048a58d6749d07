#include "CookieJar.h"

#include "TextUtil.h"

#include <algorithm>

namespace qdl {
namespace {

std::vector<std::string> SplitAttributes(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(';', start);
        parts.push_back(Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
    return UpperCase(text).find(UpperCase(part)) != std::string::npos;
}

} // namespace

void CookieJar::Store(const std::string& setCookie, const std::string& requestHost) {
    if (setCookie.size() > MaxCookieSize)
        return;
    const auto attributes = SplitAttributes(setCookie);
    const auto equals = attributes.front().find('=');
    if (equals == std::string::npos || HasControlCharacter(setCookie))
        return;
    Cookie cookie{Trim(attributes.front().substr(0, equals)), Trim(attributes.front().substr(equals + 1)),
                  requestHost, "/"};
    if (cookie.Name.empty())
        return;
    for (std::size_t i = 1; i < attributes.size(); ++i) {
        const auto attributeEquals = attributes[i].find('=');
        if (attributeEquals == std::string::npos)
            continue;
        const std::string name = Trim(attributes[i].substr(0, attributeEquals));
        const std::string value = Trim(attributes[i].substr(attributeEquals + 1));
        if (EqualsIgnoringCase(name, "Domain") && !value.empty())
            cookie.Domain = value;
        else if (EqualsIgnoringCase(name, "Path") && !value.empty())
            cookie.Path = value;
    }
    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& stored) {
        return stored.Name == cookie.Name && EqualsIgnoringCase(stored.Domain, cookie.Domain) &&
               stored.Path == cookie.Path;
    });
    if (same != cookies_.end())
        *same = std::move(cookie);
    else if (cookies_.size() < MaxCookies)
        cookies_.push_back(std::move(cookie));
}

std::string CookieJar::CookieHeader(const std::string& host, const std::string& path) const {
    std::vector<const Cookie*> matching;
    for (const auto& cookie : cookies_)
        if (!cookie.Value.empty() && ContainsIgnoringCase(host, cookie.Domain) &&
            path.rfind(cookie.Path, 0) == 0)
            matching.push_back(&cookie);
    std::stable_sort(matching.begin(), matching.end(),
                     [](const Cookie* a, const Cookie* b) { return a->Path.size() > b->Path.size(); });
    std::string header;
    for (const Cookie* cookie : matching) {
        if (!header.empty())
            header += "; ";
        header += cookie->Name + "=" + cookie->Value;
    }
    return header;
}

} // namespace qdl
