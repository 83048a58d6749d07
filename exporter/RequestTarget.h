#pragma once

#include <map>
#include <stdexcept>
#include <string>

namespace qdl::exporter {

// A request line's target that no URL reader would take as it stands.
struct BadTarget : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RequestTarget {
    std::string Path;                               // percent-decoded
    std::multimap<std::string, std::string> Params; // decoded, in their order
};

// The target of a request line as URL readers read it: origin form (/path?query) or absolute
// form (http://host:port/path?query, whose host is not ours to check). The query is pairs split
// at & and then at the first =, with %XX and + decoded; a malformed escape (%u0061, %4), a ';'
// separator, a '#' or a control byte is a BadTarget naming it.
RequestTarget ParseRequestTarget(const std::string& target);

// A text as a query's value carries it: unreserved bytes as they are, all others as %XX.
std::string QueryEscaped(const std::string& text);

} // namespace qdl::exporter
