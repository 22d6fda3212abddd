// Message lookups on arbitrary message files: the text always fits its
// buffer and the file is only read.
//
// Input: option byte (bits 0-6 the buffer's size, bit 7 no file), the key up
// to a NUL, then the message file. Writes the fixed message file, so it runs
// only inside the test sandbox.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "store/fileio.h"
#include "store/inifile.h"
#include "store/paths.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getenv("E2E_SANDBOX")) {
        fprintf(stderr, "readmsg_fuzz rewrites %s: run it inside tests/e2e/sandbox.py\n", MSG_FILE);
        exit(2);
    }
    make_dirs(QMRV_DIR);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const int buf_size = 1 + (options & 127);
    const bool no_file = options & 128;
    const std::string key = in.text(2048);
    if (key.empty()) return 0;  // ReadMsg asserts on an empty key

    if (no_file) {
        unlink(MSG_FILE);
    } else {
        FILE* f = fopen(MSG_FILE, "wb");
        require(f != nullptr, "cannot write the message file");
        fwrite(in.rest(), 1, in.remaining(), f);
        fclose(f);
    }

    char value[128 + 16];
    memset(value, 0x5A, sizeof value);
    const int r = ReadMsg("MSG", key.c_str(), value, buf_size, nullptr);
    require(r == (no_file ? -1 : 0), "unexpected result");
    for (size_t i = buf_size; i < sizeof value; ++i)
        require(value[i] == 0x5A, "text written past the buffer");
    bool touched = false;
    for (int i = 0; i < buf_size; ++i) touched |= value[i] != 0x5A;
    if (touched)
        require(memchr(value, '\0', buf_size) != nullptr, "text not terminated within the buffer");
    return 0;
}
