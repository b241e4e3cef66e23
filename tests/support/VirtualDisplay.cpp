#include "VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

VirtualDisplay::VirtualDisplay() {
    int pipe[2];
    if (::pipe(pipe) != 0) {
        return;
    }
    // -displayfd picks a free display number, so parallel tests never collide, and writes it
    // once the server accepts connections.
    const std::string fd = std::to_string(pipe[1]);
    const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                          "1024x768x24", "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipe[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const bool started =
        posix_spawnp(&server, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    std::string number;
    pollfd ready{pipe[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&ready, 1, 10000) == 1 && read(pipe[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(pipe[0]);
    if (c == '\n') {
        displayName = ":" + QString::fromStdString(number);
        setenv("DISPLAY", displayName.toUtf8().constData(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

VirtualDisplay::~VirtualDisplay() {
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
}
