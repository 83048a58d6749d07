#include "Authenticator.h"

#ifndef _WIN32
#include <crypt.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#endif

#include <cstdlib>
#include <memory>

namespace qdl::exporter {
namespace {

// Remembered logins at most; past that the memory starts afresh, so that no stream of different
// passwords can grow it.
constexpr std::size_t MostRemembered = 1024;

// The cost of a bcrypt hash: "$2y$10$..." costs 10.
int CostOf(const std::string& hash) {
    return hash.size() > 6 ? std::atoi(hash.substr(4, 2).c_str()) : 0;
}

} // namespace

Authenticator::Authenticator(std::map<std::string, std::string> users) : users_(std::move(users)) {
    for (const auto& [user, hash] : users_)
        if (dummyHash_.empty() || CostOf(hash) > CostOf(dummyHash_))
            dummyHash_ = hash;
#ifndef _WIN32
    secret_.resize(32);
    RAND_bytes(reinterpret_cast<unsigned char*>(secret_.data()), static_cast<int>(secret_.size()));
#endif
}

std::string Authenticator::Key(const std::string& user, const std::string& password) const {
    std::string key = user + '\0' + users_.at(user) + '\0';
#ifndef _WIN32
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret_.data(), static_cast<int>(secret_.size()),
         reinterpret_cast<const unsigned char*>(password.data()), password.size(), digest, &length);
    key.append(reinterpret_cast<const char*>(digest), length);
#else
    (void)password;
#endif
    return key;
}

bool Authenticator::Remembered(const std::string& user, const std::string& password) const {
    if (users_.count(user) == 0)
        return false;
    const std::string key = Key(user, password);
    std::lock_guard<std::mutex> lock(mutex_);
    return verified_.count(key) != 0;
}

bool Authenticator::Verify(const std::string& user, const std::string& password) {
#ifdef _WIN32
    // Windows has no bcrypt: its web configuration names no users.
    (void)user;
    (void)password;
    return false;
#else
    const auto found = users_.find(user);
    const std::string& hash = found == users_.end() ? dummyHash_ : found->second;
    auto data = std::make_unique<crypt_data>();
    const char* hashed = crypt_r(password.c_str(), hash.c_str(), data.get());
    if (found == users_.end() || !hashed || hash != hashed)
        return false;
    const std::string key = Key(user, password);
    std::lock_guard<std::mutex> lock(mutex_);
    if (verified_.size() >= MostRemembered)
        verified_.clear();
    verified_.insert(key);
    return true;
#endif
}

} // namespace qdl::exporter
