#include "CloseOnSignal.h"

#include <QWidget>

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_wake[2] = {-1, -1};

// Only a write is safe in a signal handler; the event loop does the rest.
void Wake(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
}

} // namespace

void CloseOnSignal(QWidget *window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_wake) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_wake[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_wake[0], &byte, 1);
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = Wake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

#else

void CloseOnSignal(QWidget *) {}

#endif
