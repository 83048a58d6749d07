#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qdl::test {

// A client that sends exactly the bytes given, for requests no HTTP library would write.
class RawConnection {
public:
    // To 127.0.0.1 from `from`, another loopback address where the server must tell clients apart.
    explicit RawConnection(int port, const std::string& from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // False when the server has closed or reset the connection.
    bool Send(const std::string& bytes);
    // Everything until the server closes the connection, or until `within` passes.
    std::string ReadAll(std::chrono::milliseconds within = std::chrono::seconds(10));
    // Reads until `count` whole answers have arrived (Content-Length framed), or `within` passes.
    std::vector<std::string> ReadAnswers(std::size_t count,
                                         std::chrono::milliseconds within = std::chrono::seconds(10));
    // True when the server closed the connection within `within`.
    bool ClosedWithin(std::chrono::milliseconds within);
    // True when the server has closed the connection by now; reads (and drops) what arrived.
    bool ClosedNow();
    // Ends the connection with a reset, as a client that gave up does.
    void Reset();

private:
    // Appends what arrives before `deadline`; false once the connection is closed or it is late.
    bool ReadSome(std::chrono::steady_clock::time_point deadline);

    int socket_ = -1;
    std::string received_;
};

// The status codes of the answers in `bytes`, in order.
std::vector<int> StatusCodes(const std::string& bytes);

} // namespace qdl::test
