#include "WebConfig.h"

#include "Failures.h"
#include "Files.h"
#include "TextUtil.h"

#ifndef _WIN32
#include <crypt.h>
#endif

#include <memory>

namespace qdl::exporter {
namespace {

using control::ConfigError;

// A scalar as YAML writes it: plain, or in single or double quotes.
std::string Scalar(std::string text) {
    text = Trim(text);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        return text.substr(1, text.size() - 2);
    if (const auto comment = text.find(" #"); comment != std::string::npos)
        text = Trim(text.substr(0, comment));
    return text;
}

} // namespace

WebConfig WebConfig::Read(const std::string& path) {
    try {
        return Parse(platform::ReadNamedFile(path, 1 << 20), path);
    } catch (const platform::FileError& failure) {
        throw ConfigError(Format("The web configuration file %s cannot be read: %s.", path.c_str(),
                                 failure.Reason.c_str()));
    }
}

// The two mappings of the format, each a key on its own line with its entries indented below.
WebConfig WebConfig::Parse(const std::string& text, const std::string& path) {
    WebConfig config;
    std::string block;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size(); ++number) {
        const auto end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        const auto fail = [&](const std::string& why) {
            return ConfigError(
                Format("The web configuration file %s, line %zu: %s", path.c_str(), number + 1, why.c_str()));
        };
        const auto colon = trimmed.find(':');
        if (colon == std::string::npos)
            throw fail("expected 'name: value'.");
        const std::string key = Scalar(trimmed.substr(0, colon));
        const std::string value = Scalar(trimmed.substr(colon + 1));
        if (line[0] != ' ' && line[0] != '\t') {
            if (key != "tls_server_config" && key != "basic_auth_users")
                throw fail(Format("'%s' is not known here: tls_server_config and basic_auth_users are.",
                                  Printable(key, 40).c_str()));
            if (!value.empty())
                throw fail(Format("%s takes its entries on the lines below it.", key.c_str()));
            block = key;
        } else if (block == "tls_server_config") {
            if (key == "cert_file")
                config.CertFile = value;
            else if (key == "key_file")
                config.KeyFile = value;
            else
                throw fail(Format("'%s' is not known in tls_server_config: cert_file and key_file are.",
                                  Printable(key, 40).c_str()));
        } else if (block == "basic_auth_users") {
            if (value.rfind("$2", 0) != 0)
                throw fail(
                    Format("the password of %s is no bcrypt hash ($2y$...).", Printable(key, 40).c_str()));
            config.Users[key] = value;
        } else {
            throw fail("an entry outside tls_server_config and basic_auth_users.");
        }
    }
#ifdef _WIN32
    // Windows has no system crypt for the hashes, and the exporter no TLS library there.
    if (config.CertFile || !config.Users.empty())
        throw ConfigError(Format("The web configuration file %s: TLS and basic authentication are not "
                                 "available on Windows; put the exporter behind a proxy that does them.",
                                 path.c_str()));
#endif
    if (config.CertFile.has_value() != config.KeyFile.has_value())
        throw ConfigError(
            Format("The web configuration file %s: tls_server_config needs both cert_file and key_file.",
                   path.c_str()));
    return config;
}

bool WebConfig::Allows(const std::string& user, const std::string& password) const {
    if (Users.empty())
        return true;
    const auto found = Users.find(user);
    if (found == Users.end())
        return false;
#ifdef _WIN32
    (void)password;
    return false;
#else
    auto data = std::make_unique<crypt_data>();
    const char* hashed = crypt_r(password.c_str(), found->second.c_str(), data.get());
    return hashed && found->second == hashed;
#endif
}

} // namespace qdl::exporter
