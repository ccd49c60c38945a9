#pragma once
// A piece of a test in a process of its own, which the test kills as a crash would:
// SIGKILL on Linux, TerminateProcess on Windows. The child is the test program again,
// started as "PROGRAM --child ARGS..."; it says "go" when its work begins, so that the
// moment of a kill counts from there and not from the process start (slow under wine).

#include "AlbumFixture.h"

#include <QProcess>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace child {

// Starts `args` in a child and returns once it said its work begins; null when it did not.
inline std::unique_ptr<QProcess> Start(const QStringList &args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Under wine a start fails now and then while other tests start processes too.
    for (int tries = 3; tries-- && p->state() != QProcess::Running;)
        p->start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args), p->waitForStarted(60000);
    if (p->state() != QProcess::Running)
        return nullptr;
    while (!p->canReadLine() && p->state() == QProcess::Running)
        p->waitForReadyRead(1000);
    return p;
}

// Runs `args` in a child and kills it `ns` nanoseconds after its "go" unless it ended
// before (never when ns < 0). Its exit code; -1 when it was killed, -2 when it did not start.
inline int Run(const QStringList &args, qint64 ns = -1) {
    const auto p = Start(args);
    if (!p)
        return -2;
    if (ns >= 0 && p->state() == QProcess::Running) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
        p->kill();
    }
    p->waitForFinished(-1);
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
}

// In the child: its work begins now.
inline void Go() {
    std::fputs("go\n", stdout);
    std::fflush(stdout);
}

} // namespace child

// main() of a test program whose children run `ChildFn(args)`.
#define SORTI_TEST_MAIN_WITH_CHILD(AppClass, TestClass, ChildFn)                                                       \
    int main(int argc, char **argv) { return fixture::Main<AppClass, TestClass>(argc, argv, ChildFn); }
