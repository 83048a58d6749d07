#include "HttpExchange.h"

#include "TextUtil.h"

namespace qdl::exporter {

namespace {

// Equal keys keep their order of insertion: the lower bound is the first one given.
std::string First(const std::multimap<std::string, std::string>& values, const std::string& key) {
    const auto found = values.lower_bound(key);
    return found == values.end() || found->first != key ? std::string() : found->second;
}

} // namespace

std::string HttpRequest::Header(const std::string& name) const {
    return First(Headers, LowerCase(name));
}

std::string HttpRequest::Param(const std::string& name) const {
    return First(Params, name);
}

} // namespace qdl::exporter
