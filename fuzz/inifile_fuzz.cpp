// The INI store on arbitrary files and arguments: lookups stay inside their
// buffers, a refused write leaves the file as it was, and an accepted one
// reads back.
//
// Input: option byte (bits 0-5 the value buffer's size, bit 6 no file at
// all), section, key, value and block body each up to a NUL, then the file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "store/inifile.h"

namespace {

std::string path;

std::string file_bytes() {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<none>";
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
    fclose(f);
    return out;
}

void put_file(const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    require(f != nullptr, "cannot create the fuzzing file");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Names and values the store can round-trip: no line ends, brackets, '=',
// blanks or comment starts that the format itself gives meaning to.
bool plain(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

// A lookup into a buffer with guard bytes behind it.
void checked_read(const char* section, const char* key, int size) {
    char value[64 + 8];
    memset(value, 0x5A, sizeof value);
    read_profile_string(section, key, value, size, "a default longer than the buffer",
                        path.c_str());
    require(memchr(value, '\0', size) != nullptr, "value not terminated within its size");
    for (size_t i = size; i < sizeof value; ++i)
        require(value[i] == 0x5A, "value written past its size");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Only the file named here is ever touched: never the fixed one.
    set_ini_autocreate(false);
    char dir[] = "/tmp/inifuzz-XXXXXX";
    require(mkdtemp(dir) != nullptr, "cannot make a directory for the fuzzing file");
    path = std::string(dir) + "/config.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const int buf_size = 1 + (options & 63);
    const bool no_file = options & 64;
    const std::string section = in.text(64), key = in.text(64), value = in.text(256),
                      body = in.text(2048);
    const std::string content(reinterpret_cast<const char*>(in.rest()), in.remaining());
    if (section.empty() || key.empty()) return 0;  // the store asserts on these

    if (no_file)
        unlink(path.c_str());
    else
        put_file(content);

    char text[INI_BUF_SIZE];
    int file_size = 0;
    if (load_ini_file(path.c_str(), text, &file_size)) {
        const int len = strlen(text);
        require(len < INI_BUF_SIZE, "loaded text not terminated");
        int ss, se, ks, ke, vs, ve;
        if (parse_file(section.c_str(), key.c_str(), text, &ss, &se, &ks, &ke, &vs, &ve)) {
            require(
                0 <= ss && ss <= se && se <= ks && ks <= ke && ke <= vs && vs <= ve && ve <= len,
                "found key's positions out of order or past the text");
        } else {
            require(ks == -1 && ke == -1 && vs == -1 && ve == -1, "missing key with positions");
        }
    }
    checked_read(section.c_str(), key.c_str(), buf_size);
    read_profile_int(section.c_str(), key.c_str(), -7, path.c_str());

    const std::string before = file_bytes();
    if (!write_profile_string(section.c_str(), key.c_str(), value.c_str(), path.c_str())) {
        require(file_bytes() == before, "a refused write changed the file");
    } else {
        // Whatever follows the text (from a NUL or 0xFF byte on) is kept.
        const size_t text_end = std::min(before.find('\0'), before.find('\xff'));
        if (text_end != std::string::npos && !no_file) {
            const std::string after = file_bytes(), tail = before.substr(text_end);
            require(after.size() >= tail.size() &&
                        after.compare(after.size() - tail.size(), tail.size(), tail) == 0,
                    "a write dropped the bytes after the text");
        }
        if (plain(section) && plain(key) && plain(value)) {
            char back[300];
            require(read_profile_string(section.c_str(), key.c_str(), back, sizeof back, nullptr,
                                        path.c_str()) == 1 &&
                        value == back,
                    "a written value does not read back");
        }
    }

    const std::string before_block = file_bytes();
    if (!WriteTwotyValue(section.c_str(), key.c_str(), body.c_str(), path.c_str())) {
        require(file_bytes() == before_block, "a refused block write changed the file");
    } else {
        const std::string after = file_bytes();
        require(after.find("[" + section + "]") != std::string::npos &&
                    after.find(body) != std::string::npos &&
                    after.find("[" + key) != std::string::npos,
                "a block write lost its header, body or following section");
    }
    return 0;
}
