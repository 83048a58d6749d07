#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace qdl::exporter {

// Basic authentication against the web configuration's bcrypt hashes, as the exporter toolkit
// does it: a password verified once is remembered (by user, hash and a keyed digest of the
// password, never the password itself), so that a scrape costs one hash only at its first
// request; a user that is not configured costs the same hash as a wrong password, so that user
// names cannot be told by timing.
class Authenticator {
public:
    explicit Authenticator(std::map<std::string, std::string> users); // name to bcrypt hash

    // True when nobody needs to log in.
    bool Open() const { return users_.empty(); }
    // True when this user and password were verified before: no hash to compute.
    bool Remembered(const std::string& user, const std::string& password) const;
    // Computes the hash (slow on purpose: run it off the server's thread).
    bool Verify(const std::string& user, const std::string& password);

private:
    std::string Key(const std::string& user, const std::string& password) const;

    std::map<std::string, std::string> users_;
    std::string dummyHash_; // a configured hash of the highest cost, for unknown users
    std::string secret_;    // keys the digests of the remembered passwords
    mutable std::mutex mutex_;
    std::set<std::string> verified_;
};

} // namespace qdl::exporter
