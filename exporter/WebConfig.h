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

    // Read as a YAML reader reads it, and as strictly as the toolkit: a key it does not know, a
    // key given twice or a value of the wrong kind is a ConfigError naming the file, the line
    // and what is wrong. On Windows, which has neither TLS nor bcrypt here, every file is refused.
    static WebConfig Read(const std::string& path);
    static WebConfig Parse(const std::string& text, const std::string& path);
};

} // namespace qdl::exporter
