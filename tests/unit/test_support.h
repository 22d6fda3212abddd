// Temp directories and whole-file helpers for the unit tests.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/unit-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { (void)!std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool in_sandbox() {
    const char* s = getenv("E2E_SANDBOX");
    return s && std::string(s) == "1";
}
