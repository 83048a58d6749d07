#include "RequestTarget.h"

#include "TextUtil.h"

#include <cctype>

namespace qdl::exporter {
namespace {

// %XX escapes (and, in a query, + for a blank) decoded; anything else that is no escape is a
// BadTarget.
std::string Decoded(const std::string& text, bool query) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && query) {
            decoded += ' ';
        } else if (text[i] != '%') {
            decoded += text[i];
        } else {
            const int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
            const int low = high < 0 ? -1 : HexDigitValue(text[i + 2]);
            if (low < 0)
                throw BadTarget(Format("'%s' is no %%XX escape.", Printable(text.substr(i, 3), 3).c_str()));
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return decoded;
}

// What follows "scheme://authority" of an absolute-form target: its path and query.
std::string OriginPart(const std::string& target) {
    const auto scheme = target.find("://");
    const std::string name = LowerCase(target.substr(0, scheme));
    if (scheme == std::string::npos || (name != "http" && name != "https"))
        throw BadTarget("The request's target is neither a path nor an http URL.");
    const auto path = target.find_first_of("/?", scheme + 3);
    if (path == std::string::npos)
        return "/";
    return target[path] == '?' ? "/" + target.substr(path) : target.substr(path);
}

std::multimap<std::string, std::string> QueryParams(const std::string& query) {
    std::multimap<std::string, std::string> params;
    if (query.find(';') != std::string::npos)
        throw BadTarget("The query separates its parameters with ';': use '&'.");
    for (std::size_t start = 0; start <= query.size();) {
        const auto end = std::min(query.find('&', start), query.size());
        const std::string pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const auto equals = pair.find('=');
        params.emplace(Decoded(pair.substr(0, equals), true),
                       equals == std::string::npos ? std::string() : Decoded(pair.substr(equals + 1), true));
    }
    return params;
}

} // namespace

RequestTarget ParseRequestTarget(const std::string& target) {
    if (HasControlCharacter(target) || target.find_first_of(" #") != std::string::npos)
        throw BadTarget("The request's target holds a blank, a control byte or a '#'.");
    const std::string origin = !target.empty() && target[0] == '/' ? target : OriginPart(target);
    const auto question = origin.find('?');
    RequestTarget parsed;
    parsed.Path = Decoded(origin.substr(0, question), false);
    if (question != std::string::npos)
        parsed.Params = QueryParams(origin.substr(question + 1));
    return parsed;
}

std::string QueryEscaped(const std::string& text) {
    std::string encoded;
    for (unsigned char c : text)
        encoded += std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~'
                       ? std::string(1, static_cast<char>(c))
                       : Format("%%%02X", c);
    return encoded;
}

} // namespace qdl::exporter
