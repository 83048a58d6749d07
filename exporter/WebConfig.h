#pragma once

#include <map>
#include <optional>
#include <string>

namespace qdl::exporter {

// The exporter toolkit's web configuration file, as every Prometheus exporter reads it: TLS
// (tls_server_config: cert_file, key_file) and basic authentication (basic_auth_users: a user
// name and a bcrypt hash each).
struct WebConfig {
    std::optional<std::string> CertFile, KeyFile;
    std::map<std::string, std::string> Users; // name to bcrypt hash

    // A ConfigError naming the file, the line and what is wrong.
    static WebConfig Read(const std::string& path);
    static WebConfig Parse(const std::string& text, const std::string& path);

    // True when no users are configured, or the password matches the user's hash (checked with
    // the system's crypt).
    bool Allows(const std::string& user, const std::string& password) const;
};

} // namespace qdl::exporter
