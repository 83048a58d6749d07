#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qdl::test {

// A stand-in for the switch on 127.0.0.1 that records the exact bytes of every request and
// answers each connection with the next scripted answer, misbehaving where the script says so.
class ScriptedSwitch {
public:
    enum class Then {
        Close, // close the connection after the answer
        Hold,  // keep the connection open until the client gives up
        Reset, // abort the connection (RST) after the answer
    };

    struct Answer {
        std::string Bytes;
        Then After = Then::Close;
        bool ReadRequest = true; // false: answer at once, without waiting for the request
        // Sent again and again after the answer, `Every` apart, until the client goes away.
        std::string Repeat = "";
        std::chrono::milliseconds Every{0};
        // A switch that thinks this long before it answers.
        std::chrono::milliseconds Delay{0};
    };

    ScriptedSwitch();
    ~ScriptedSwitch();
    ScriptedSwitch(const ScriptedSwitch&) = delete;
    ScriptedSwitch& operator=(const ScriptedSwitch&) = delete;

    int Port() const { return port_; }

    // Queues answers for the next connections; a connection without one gets the default answer.
    void Script(Answer answer);
    // What connections get when the script is used up; at first, a close without a word.
    void DefaultAnswer(Answer answer);
    void Reply(const std::string& bytes, Then after = Then::Close) { Script({bytes, after, true}); }
    // An answer that starts with `bytes` and then sends `repeat` again and again, `every` apart.
    static Answer Endless(std::string bytes, std::string repeat,
                          std::chrono::milliseconds every = std::chrono::milliseconds(0)) {
        return {std::move(bytes), Then::Close, true, std::move(repeat), every};
    }
    // A 200 reply with Content-Length around `body`.
    void ReplyBody(const std::string& body);

    // The raw request of every connection so far (empty for one that sent nothing).
    std::vector<std::string> Requests() const;
    // When each of them had arrived.
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() const;
    std::size_t Connections() const;
    // Returns once `count` connections have sent their request.
    void WaitForConnections(std::size_t count) const;

private:
    void Serve();
    void Handle(std::intptr_t client);
    void Stream(std::intptr_t client, const Answer& answer);
    // Waits until `socket` can be read (or the time passes); false once the server stops.
    bool WaitReadable(std::intptr_t socket, std::chrono::milliseconds time) const;
    Answer NextAnswer();

    std::intptr_t listener_ = -1;
    // A datagram socket on loopback that the destructor sends to, waking every wait.
    std::intptr_t wake_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::deque<Answer> script_;
    Answer defaultAnswer_{"", Then::Close, false};
    std::vector<std::string> requests_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::thread thread_;
};

// A port on loopback that nothing listens on.
int ClosedPort();

// A loopback listener whose accept queue is full drops new connection attempts, so that they hang
// the way an unroutable address does.
class FullListener {
public:
    FullListener();
    ~FullListener();
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    int Port() const { return port_; }

private:
    std::intptr_t listener_ = -1;
    std::intptr_t fillers_[3] = {-1, -1, -1};
    int port_ = 0;
};

// A request as the client sends it for `target`, with the default credentials of a test.
std::string ExpectedRequest(const std::string& target, const std::string& host,
                            const std::string& authorization, const std::string& cookie = "");

} // namespace qdl::test
