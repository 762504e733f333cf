// Starts a program and times it from the start of its process until the X server maps its
// n-th top-level window, watching the server from outside the program. Windows mapped
// before that one can be answered with xdotool as soon as they map, as a quick person would.
//
//   corvalto_startwatch [--answer NAME] [--play SECONDS] [--title TITLE] [--log FILE]
//                       [--timeout SECONDS] N PROGRAM [ARGS...]
//
// --answer: the first window gets NAME typed and Return, each later one Return.
// --title: count the windows titled TITLE, whoever declares them; otherwise those the program
// declares its own. Under Wine the window belongs to a process the watch did not start.
// --play: once the n-th window maps, click in its middle (the game's board) and read the peak
// resident set SECONDS later, when the sound the click started has played.
// Prints one line: milliseconds to the n-th mapping, the program's peak resident set
// (VmHWM, KiB) at that moment, and the times of every mapping seen, comma-separated.
// Then kills the program. The program finds the moment it was started in its environment,
// CORVALTO_BENCH_T0 (CLOCK_MONOTONIC, ns), for marks of its own. Needs an X server without a window
// manager (a reparenting manager would hide the mappings from the root window).

#include <xcb/xcb.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "startwatch: %s\n", why.c_str());
    std::exit(1);
}

pid_t spawn(const std::vector<std::string>& args, int outFd, bool searchPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    pid_t pid = -1;
    const int rc = searchPath ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                              : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        fail("cannot start " + args[0] + ": " + std::strerror(rc));
    return pid;
}

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        fail(std::string("cannot intern ") + name);
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// The process that owns a window, as its toolkit declares it; -1 if it declares none.
long ownerOf(xcb_connection_t* c, xcb_window_t window, xcb_atom_t pidAtom) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    long pid = -1;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        pid = long(*static_cast<const uint32_t*>(xcb_get_property_value(reply)));
    std::free(reply);
    return pid;
}

// The window's title, as its toolkit set it before mapping it.
std::string titleOf(xcb_connection_t* c, xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    std::string title;
    if (reply && reply->format == 8)
        title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     std::size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return title;
}

// A "Name:   value kB" line of /proc/<pid>/status; -1 when it cannot be read.
long statusKiB(pid_t pid, const char* field) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, length) == 0) {
            value = std::strtol(line + length, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return value;
}

} // namespace

int main(int argc, char* argv[]) {
    const char* answer = nullptr;
    const char* title = nullptr;
    const char* logPath = "/dev/null";
    double timeoutMs = 30'000;
    double playMs = -1;
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (std::strcmp(argv[i], "--answer") == 0)
            answer = argv[i + 1];
        else if (std::strcmp(argv[i], "--log") == 0)
            logPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--title") == 0)
            title = argv[i + 1];
        else if (std::strcmp(argv[i], "--play") == 0)
            playMs = std::atof(argv[i + 1]) * 1000;
        else if (std::strcmp(argv[i], "--timeout") == 0)
            timeoutMs = std::atof(argv[i + 1]) * 1000;
        else
            fail(std::string("unknown option ") + argv[i]);
    }
    if (argc - i < 2)
        fail("usage: corvalto_startwatch [--answer NAME] [--play SECONDS] [--title TITLE] "
             "[--log FILE] [--timeout SECONDS] N PROGRAM [ARGS...]");
    const int wanted = std::atoi(argv[i]);
    if (wanted < 1)
        fail("N counts windows from 1");
    const std::vector<std::string> program(argv + i + 1, argv + argc);

    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c))
        fail("cannot connect to the X server");
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int s = 0; s < screenNumber; ++s)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    // Every top-level window is a child of the root window: its mapping is reported here.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (xcb_generic_error_t* error = xcb_request_check(
            c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask))) {
        std::free(error);
        fail("cannot watch the root window");
    }
    const xcb_atom_t pidAtom = intern(c, "_NET_WM_PID");

    const int logFd = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0)
        fail(std::string("cannot open ") + logPath);

    const double start = nowMs();
    // Programs of the bench that note their own steps count from the same moment.
    const std::string startNs = std::to_string(static_cast<long long>(start * 1e6));
    setenv("CORVALTO_BENCH_T0", startNs.c_str(), 1);
    const pid_t child = spawn(program, logFd, false);

    std::vector<double> mappings;
    std::vector<pid_t> helpers;
    const int fd = xcb_get_file_descriptor(c);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const bool isMap = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (isMap && !map->override_redirect) {
                const double at = nowMs() - start;
                const xcb_window_t window = map->window;
                if (title ? titleOf(c, window) == title : ownerOf(c, window, pidAtom) == child) {
                    mappings.push_back(at);
                    if (int(mappings.size()) == wanted) {
                        if (playMs >= 0) {
                            const std::string id = std::to_string(window);
                            waitpid(spawn({"xdotool", "mousemove", "--window", id, "304", "360",
                                           "click", "1"},
                                          logFd, true),
                                    nullptr, 0);
                            usleep(useconds_t(playMs * 1000));
                        }
                        const long peak = statusKiB(child, "VmHWM:");
                        kill(child, SIGKILL);
                        waitpid(child, nullptr, 0);
                        for (const pid_t helper : helpers)
                            waitpid(helper, nullptr, 0);
                        std::printf("%.3f %ld ", at, peak);
                        for (std::size_t m = 0; m < mappings.size(); ++m)
                            std::printf("%s%.3f", m ? "," : "", mappings[m]);
                        std::printf("\n");
                        std::free(event);
                        xcb_disconnect(c);
                        return 0;
                    }
                    if (answer) {
                        const std::string id = std::to_string(window);
                        // One "key" command: a "type" before it makes xdotool drop the Return.
                        std::vector<std::string> keys = {"xdotool", "key"};
                        if (mappings.size() == 1)
                            for (const char* letter = answer; *letter; ++letter)
                                keys.emplace_back(1, *letter);
                        keys.emplace_back("Return");
                        helpers.push_back(spawn(keys, logFd, true));
                    }
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            fail("lost the X server");
        if (waitpid(child, nullptr, WNOHANG) == child)
            fail("the program ended after " + std::to_string(mappings.size()) + " window(s)");
        if (nowMs() - start > timeoutMs) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            fail("timed out after " + std::to_string(mappings.size()) + " window(s)");
        }
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 20);
    }
}
