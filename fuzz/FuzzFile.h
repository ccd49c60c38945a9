#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

// Puts the fuzzer's bytes into a scratch file that the tag classes can open.
class FuzzFile {
public:
    FuzzFile() {
        const char *dir = std::getenv("FUZZ_TMPDIR");
        path_ = std::string(dir ? dir : "/tmp") + "/sortifuzz-" + std::to_string(getpid()) + ".mp3";
    }
    ~FuzzFile() { std::remove(path_.c_str()); }
    const std::string &Write(const uint8_t *data, size_t size) {
        FILE *f = std::fopen(path_.c_str(), "wb");
        if (f) {
            if (size) std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
        return path_;
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};
