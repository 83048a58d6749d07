#include "WebConfig.h"

#include "Failures.h"
#include "Files.h"
#include "TextUtil.h"

#ifndef _WIN32
#include <yaml-cpp/yaml.h>

#include <set>
#endif

namespace qdl::exporter {
namespace {

using control::ConfigError;

#ifndef _WIN32
ConfigError Mistake(const std::string& path, const YAML::Node& node, const std::string& why) {
    return ConfigError(Format("The web configuration file %s, line %d: %s", path.c_str(),
                              node.Mark().line + 1, why.c_str()));
}

std::string Text(const std::string& path, const YAML::Node& node, const std::string& what) {
    if (!node.IsScalar())
        throw Mistake(path, node, what + " is no text.");
    return node.Scalar();
}

// The pairs of a mapping, each key once: the toolkit's strict reading refuses a key given twice,
// where a YAML reader would silently keep only the last.
template <typename Take>
void EachPair(const std::string& path, const YAML::Node& map, const std::string& what, Take take) {
    if (map.IsNull())
        return;
    if (!map.IsMap())
        throw Mistake(path, map, what + " is no mapping of names to values.");
    std::set<std::string> seen;
    for (const auto& pair : map) {
        const std::string key = Text(path, pair.first, "A key of " + what);
        if (!seen.insert(key).second)
            throw Mistake(path, pair.first,
                          Format("'%s' is given twice in %s.", Printable(key, 40).c_str(), what.c_str()));
        take(key, pair.first, pair.second);
    }
}

void ReadTls(const std::string& path, const YAML::Node& node, WebConfig& config) {
    EachPair(path, node, "tls_server_config",
             [&](const std::string& key, const YAML::Node& at, const YAML::Node& value) {
                 if (key == "cert_file")
                     config.CertFile = Text(path, value, "cert_file");
                 else if (key == "key_file")
                     config.KeyFile = Text(path, value, "key_file");
                 else
                     throw Mistake(
                         path, at,
                         Format("'%s' is not known in tls_server_config: cert_file and key_file are.",
                                Printable(key, 40).c_str()));
             });
}

void ReadUsers(const std::string& path, const YAML::Node& node, WebConfig& config) {
    EachPair(path, node, "basic_auth_users",
             [&](const std::string& user, const YAML::Node&, const YAML::Node& value) {
                 const std::string hash = Text(path, value, "The password of " + Printable(user, 40));
                 if (hash.rfind("$2", 0) != 0)
                     throw Mistake(path, value,
                                   Format("the password of %s is no bcrypt hash ($2y$...).",
                                          Printable(user, 40).c_str()));
                 config.Users[user] = hash;
             });
}
#endif

} // namespace

WebConfig WebConfig::Read(const std::string& path) {
#ifdef _WIN32
    throw ConfigError(Format("The web configuration file %s: TLS and basic authentication are not available "
                             "on Windows; put the exporter behind a proxy that does them.",
                             path.c_str()));
#else
    try {
        return Parse(platform::ReadNamedFile(path, 1 << 20), path);
    } catch (const platform::FileError& failure) {
        throw ConfigError(Format("The web configuration file %s cannot be read: %s.", path.c_str(),
                                 failure.Reason.c_str()));
    }
#endif
}

#ifndef _WIN32
WebConfig WebConfig::Parse(const std::string& text, const std::string& path) {
    YAML::Node document;
    try {
        document = YAML::Load(text);
    } catch (const YAML::Exception& failure) {
        throw ConfigError(Format("The web configuration file %s, line %d: %s.", path.c_str(),
                                 failure.mark.line + 1, failure.msg.c_str()));
    }
    WebConfig config;
    EachPair(path, document, "the file",
             [&](const std::string& key, const YAML::Node& at, const YAML::Node& value) {
                 if (key == "tls_server_config")
                     ReadTls(path, value, config);
                 else if (key == "basic_auth_users")
                     ReadUsers(path, value, config);
                 else
                     throw Mistake(
                         path, at,
                         Format("'%s' is not known here: tls_server_config and basic_auth_users are.",
                                Printable(key, 40).c_str()));
             });
    if (config.CertFile.has_value() != config.KeyFile.has_value())
        throw ConfigError(
            Format("The web configuration file %s: tls_server_config needs both cert_file and key_file.",
                   path.c_str()));
    return config;
}
#endif

} // namespace qdl::exporter
