// The parts of the file layer that are the same on every system.
#include "FileOps.h"
#include "FileOpsHook.h"
#include "TagError.h"

#include <utility>

namespace tags::fileops {
namespace {

FaultHook &Hook() {
    static FaultHook hook;
    return hook;
}

} // namespace

int detail::Injected(Op op, const std::string &path) {
    const FaultHook &h = Hook();
    return h ? h(op, path) : 0;
}

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

File::~File() { Close(); }

void File::Fail(int err) const { throw SystemError(source_, err); }

size_t File::ReadFull(void *buf, size_t n) {
    size_t got = 0;
    auto *p = static_cast<char *>(buf);
    while (got < n) {
        const size_t r = Read(p + got, n - got);
        if (r == 0) break;
        got += r;
    }
    return got;
}

} // namespace tags::fileops
