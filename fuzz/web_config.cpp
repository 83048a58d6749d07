// A web configuration: refused with a short message naming the file, or read into TLS files and
// users that, written again as YAML with every text double-quoted, read back the same.
#include "Failures.h"
#include "FuzzCheck.h"
#include "TextUtil.h"
#include "WebConfig.h"

#include <yaml-cpp/yaml.h>

#include <cstdint>

namespace {

bool AllUtf8(const qdl::exporter::WebConfig& config) {
    bool valid =
        qdl::IsValidUtf8(config.CertFile.value_or("")) && qdl::IsValidUtf8(config.KeyFile.value_or(""));
    for (const auto& [user, hash] : config.Users)
        valid = valid && qdl::IsValidUtf8(user) && qdl::IsValidUtf8(hash);
    return valid;
}

std::string Written(const qdl::exporter::WebConfig& config) {
    YAML::Emitter out;
    out << YAML::DoubleQuoted << YAML::EscapeNonAscii << YAML::BeginMap;
    if (config.CertFile)
        out << YAML::Key << "tls_server_config" << YAML::Value << YAML::BeginMap << YAML::Key << "cert_file"
            << YAML::Value << *config.CertFile << YAML::Key << "key_file" << YAML::Value << *config.KeyFile
            << YAML::EndMap;
    if (!config.Users.empty()) {
        out << YAML::Key << "basic_auth_users" << YAML::Value << YAML::BeginMap;
        for (const auto& [user, hash] : config.Users)
            out << YAML::Key << user << YAML::Value << hash;
        out << YAML::EndMap;
    }
    out << YAML::EndMap;
    return out.c_str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qdl::exporter;
    const std::string text(reinterpret_cast<const char*>(data), size);
    WebConfig config;
    try {
        config = WebConfig::Parse(text, "web.yml");
    } catch (const qdl::control::ConfigError& failure) {
        const std::string message = failure.what();
        FUZZ_CHECK(message.find("web.yml") != std::string::npos && message.size() < 600);
        return 0;
    }
    FUZZ_CHECK(config.CertFile.has_value() == config.KeyFile.has_value());
    for (const auto& [user, hash] : config.Users)
        FUZZ_CHECK(hash.rfind("$2", 0) == 0);
    if (!AllUtf8(config))
        return 0; // YAML holds text; bytes that are none cannot be written back as such
    const WebConfig again = WebConfig::Parse(Written(config), "again.yml");
    FUZZ_CHECK(again.Users == config.Users && again.CertFile == config.CertFile &&
               again.KeyFile == config.KeyFile);
    return 0;
}
