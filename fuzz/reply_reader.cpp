// The reply reader on whatever a peer sends: it never crashes or loops, every failure carries a
// message, and no body over the cap is ever returned.
#include "CommaText.h"
#include "FuzzCheck.h"
#include "HttpClient.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

// The peer's bytes, handed out in pieces of a size the input chooses, then a close.
class ScriptedBytes : public qdl::ByteStream {
public:
    ScriptedBytes(const char* bytes, std::size_t size, std::size_t piece)
        : bytes_(bytes), size_(size), piece_(piece) {}

    void Send(const std::string&, qdl::Clock::time_point) override {}

    std::size_t Receive(char* buffer, std::size_t size, qdl::Clock::time_point) override {
        const std::size_t count = std::min({size, piece_, size_ - offset_});
        std::memcpy(buffer, bytes_ + offset_, count);
        offset_ += count;
        return count;
    }

private:
    const char* bytes_;
    std::size_t size_;
    std::size_t piece_;
    std::size_t offset_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    ScriptedBytes peer(reinterpret_cast<const char*>(data) + 1, size - 1, piece);
    qdl::HttpClient http;
    http.Host = "127.0.0.1";
    http.BasicAuthentication = true;
    try {
        const std::string body = http.Exchange(peer, "/Set.cmd?CMD=GetPower");
        FUZZ_CHECK(body.size() <= qdl::ReplyLimits{}.MaxBodySize);
        qdl::ReplyList reply;
        qdl::SplitCommaText(reply, body);
        qdl::StripHtmlReply(reply);
    } catch (const std::runtime_error& failure) {
        FUZZ_CHECK(failure.what()[0] != '\0');
    }
    return 0;
}
