#pragma once

#include <string>
#include <vector>

namespace qdl {

// The cookies a switch set, kept in memory for the life of one HTTP client and sent back on
// later requests to the same host. Like a browser, it keeps a bounded number of cookies of a
// bounded size: further ones are dropped, so a peer cannot fill memory with them.
class CookieJar {
public:
    static constexpr std::size_t MaxCookies = 50;
    static constexpr std::size_t MaxCookieSize = 4096;

    // Stores the cookie of one Set-Cookie or Set-Cookie2 header value received from `requestHost`.
    void Store(const std::string& setCookie, const std::string& requestHost);

    // The Cookie header value for a request to `host` in directory `path`: the name=value pairs of
    // every matching cookie with a value, longest path first, joined by "; ". Empty when none match.
    std::string CookieHeader(const std::string& host, const std::string& path) const;

    std::size_t size() const { return cookies_.size(); }

private:
    struct Cookie {
        std::string Name;
        std::string Value;
        std::string Domain;
        std::string Path;
    };

    std::vector<Cookie> cookies_;
};

} // namespace qdl
