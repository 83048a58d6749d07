// Starts a program under the X server of $DISPLAY and ends it the moment its first window is
// mapped: the time from start to visible window is then the probe's own run time (what
// hyperfine measures) and is printed as "MS_TO_MAP <ms>", and the program's peak resident size
// is printed as "KIB_PEAK <n>".
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern char** environ;

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// Top-level windows are children of the root window: watch its substructure for a map.
void WatchRootWindow(xcb_connection_t* connection) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so the server watches before the program starts.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool WaitForMappedWindow(xcb_connection_t* connection, pid_t program, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped)
                return true;
        }
        if (::waitpid(program, nullptr, WNOHANG) == program || std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd entry{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&entry, 1, 100);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        std::fprintf(stderr, "startup_probe: no X server on $DISPLAY\n");
        return 2;
    }
    WatchRootWindow(connection.get());
    pid_t program = 0;
    const auto started = std::chrono::steady_clock::now();
    if (::posix_spawn(&program, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::perror("startup_probe");
        return 2;
    }
    const bool mapped = WaitForMappedWindow(connection.get(), program, std::chrono::seconds(20));
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - started;
    ::kill(program, SIGKILL);
    int status = 0;
    rusage usage{};
    ::wait4(program, &status, 0, &usage);
    std::printf("MS_TO_MAP %.2f\nKIB_PEAK %ld\n", elapsed.count(), usage.ru_maxrss);
    if (!mapped)
        std::fprintf(stderr, "startup_probe: %s showed no window\n", argv[1]);
    return mapped ? 0 : 1;
}
