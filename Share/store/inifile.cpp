#include "store/inifile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/fileio.h"
#include "store/paths.h"

// Programming errors stop the program with the classic assertion text, in
// every build type (NDEBUG included).
#define INI_REQUIRE(cond, text) ((cond) ? (void)0 : assertion_failed(text, __LINE__, __func__))

namespace {

[[noreturn]] void assertion_failed(const char* text, unsigned line, const char* function) {
    fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
            __FILE__, line, function, text);
    abort();
}

constexpr unsigned char END_OF_FILE = 0xFF;
constexpr int MAX_TEXT = INI_BUF_SIZE - 1;

enum class Load { ok, missing, too_big };

// Reads the text of an open file into buf: up to the first 0xFF or the end.
Load read_text(int fd, char* buf, int* size) {
    *size = 0;
    int len = 0;
    for (;;) {
        ssize_t n = read_retry(fd, buf + len, INI_BUF_SIZE - len);
        if (n < 0) return Load::missing;
        const void* stop = memchr(buf + len, END_OF_FILE, n);
        if (stop) {
            len = static_cast<int>(static_cast<const char*>(stop) - buf);
            break;
        }
        len += static_cast<int>(n);
        if (n == 0) break;
        if (len == INI_BUF_SIZE) return Load::too_big;
    }
    buf[len] = '\0';
    *size = len;
    return Load::ok;
}

// Reads a whole file for a rewrite: *len bytes in buf, of which the text is
// the first *text_len (up to a NUL or 0xFF byte). The bytes after the text are
// no lookup's business, but they are not the rewrite's to drop either.
Load read_whole(int fd, char* buf, int* len, int* text_len) {
    int got = 0;
    for (;;) {
        const ssize_t n = read_retry(fd, buf + got, INI_BUF_SIZE - got);
        if (n < 0) return Load::missing;
        if (n == 0) break;
        got += static_cast<int>(n);
        if (got == INI_BUF_SIZE) return Load::too_big;
    }
    buf[got] = '\0';
    *len = got;
    const void* ff = memchr(buf, END_OF_FILE, got);
    const int end = ff ? static_cast<int>(static_cast<const char*>(ff) - buf) : got;
    *text_len = static_cast<int>(strnlen(buf, end));
    return Load::ok;
}

// Reads under a shared lock; when another process holds the lock past the
// wait, the read goes ahead without it (a rewrite by rename never shows a
// reader half a file).
Load load_locked(const char* file, char* buf, int* size) {
    LockedFile f(file, O_RDONLY, LOCK_SH);
    if (!f.ok()) return Load::missing;
    return read_text(f.fd(), buf, size);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || newline(c); }

// The new text of a write is built in an IniText; it refuses to grow past
// its limit.
using Text = IniText;

// The lookup itself; parse_file adds its checks.
int find_key(const char* section, const char* key, const char* buf, int* sec_s, int* sec_e,
             int* key_s, int* key_e, int* value_s, int* value_e) {
    *sec_s = *sec_e = *key_s = *key_e = *value_s = *value_e = -1;
    const size_t section_len = strlen(section);
    const size_t key_len = strlen(key);

    int i = 0;
    while (!end_of_string(buf[i])) {
        if (!left_barce(buf[i]) || (i > 0 && !newline(buf[i - 1]))) {
            ++i;
            continue;
        }
        const int name = i + 1;
        // A header missing its ']' ends at its line end: were it to run on to
        // a later line's ']', it would swallow the next header, and a key
        // written under that one could never be read again.
        do {
            ++i;
        } while (!isright_brace(buf[i]) && !end_of_string(buf[i]) && !newline(buf[i]));
        const size_t name_len = i - name;
        if (name_len != section_len || strncmp(buf + name, section, section_len) != 0) continue;

        if (isright_brace(buf[i])) ++i;
        while (is_blank(buf[i])) ++i;
        *sec_s = name;
        *sec_e = i;
        // The body runs up to the next line that begins with '['.
        while (!end_of_string(buf[i]) && !left_barce(buf[i])) {
            int end = i;
            while (!end_of_string(buf[end]) && !newline(buf[end])) ++end;
            if (buf[i] != ';') {
                int eq = i;
                while (eq < end && buf[eq] != '=') ++eq;
                if (eq < end && eq > i && static_cast<size_t>(eq - i) == key_len &&
                    strncmp(buf + i, key, key_len) == 0) {
                    *key_s = i;
                    *key_e = eq - 1;
                    *value_s = eq + 1;
                    *value_e = end;
                    return 1;
                }
            }
            i = newline(buf[end]) ? end + 1 : end;
        }
    }
    return 0;
}

// The new text of write_profile_string, or false when it would not fit.
bool build_write(const char* text, const char* section, const char* key, const char* value,
                 Text& out) {
    int sec_s, sec_e, key_s, key_e, value_s, value_e;
    const int len = static_cast<int>(strlen(text));
    if (find_key(section, key, text, &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e)) {
        return out.add(text, value_s) && out.add(value) && out.add(text + value_e, len - value_e);
    }
    if (sec_s == -1) {
        if (len > 0 && !out.add(text, len)) return false;
        return out.add(len > 0 ? "\n[" : "[") && out.add(section) && out.add("]\n") &&
               out.add(key) && out.add("=") && out.add(value) && out.add("\n");
    }
    if (!out.add(text, sec_e)) return false;
    // A header on the file's last line needs a line end before its first key.
    if (sec_e == len && !newline(text[len - 1]) && !out.add("\n")) return false;
    return out.add(key) && out.add("=") && out.add(value) && out.add("\n") &&
           out.add(text + sec_e, len - sec_e);
}

// The new text of WriteTwotyValue, or false when the file does not have the
// two headers in order or a limit would be passed.
bool build_twoty(const char* text, const char* first, const char* following, const char* body,
                 const TwotyLimits& limits, Text& out) {
    const char* head = strstr(text, first);
    if (!head || head == text || head[-1] != '[') return false;
    const char* head_end = head + strlen(first);
    if (head_end[0] != ']' || !newline(head_end[1])) return false;
    head_end += 2;
    const char* tail = strstr(head_end, following);
    if (!tail || tail[-1] != '[') return false;
    const size_t head_len = head_end - text;
    const size_t tail_len = strlen(tail);
    if (head_len > static_cast<size_t>(limits.head) || tail_len > static_cast<size_t>(limits.tail))
        return false;
    return out.add(text, head_len) && out.add(body) && out.add("[") && out.add(tail, tail_len);
}

}  // namespace

int newline(char c) { return c == '\n' || c == '\r'; }
int end_of_string(char c) { return c == '\0'; }
int left_barce(char c) { return c == '['; }
int isright_brace(char c) { return c == ']'; }

namespace {
std::atomic<bool> ini_autocreate{true};
}  // namespace

void set_ini_autocreate(bool on) { ini_autocreate = on; }

void check_ini_file() {
    if (!ini_autocreate.load()) return;
    if (access(CONFIG_FILE, F_OK) == 0) return;
    make_dirs(QMRV_DIR);
    create_shared_file(CONFIG_FILE);
}

int load_ini_file(const char* file, char* buf, int* file_size) {
    INI_REQUIRE(file != nullptr, "file !=((void *)0)");
    INI_REQUIRE(buf != nullptr, "buf !=((void *)0)");
    *file_size = 0;
    check_ini_file();
    if (load_locked(file, buf, file_size) == Load::ok) return 1;
    buf[0] = '\0';
    *file_size = 0;
    return 0;
}

int parse_file(const char* section, const char* key, const char* buf, int* sec_s, int* sec_e,
               int* key_s, int* key_e, int* value_s, int* value_e) {
    INI_REQUIRE(section != nullptr && strlen(section), "section != ((void *)0) && strlen(section)");
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    INI_REQUIRE(buf != nullptr, "buf!=((void *)0)");
    check_ini_file();
    return find_key(section, key, buf, sec_s, sec_e, key_s, key_e, value_s, value_e);
}

int text_read_string(const char* text, const char* section, const char* key, char* value, int size,
                     const char* default_value) {
    INI_REQUIRE(section != nullptr && strlen(section), "section != ((void *)0) && strlen(section)");
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    int sec_s, sec_e, key_s, key_e, value_s, value_e;
    if (find_key(section, key, text, &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e)) {
        int n = value_e - value_s;
        if (n > size - 1) n = size - 1;
        memset(value, 0, size);
        memcpy(value, text + value_s, n);
        return 1;
    }
    if (default_value) {
        strncpy(value, default_value, size - 1);
        value[size - 1] = '\0';
    }
    return 0;
}

int text_read_int(const char* text, const char* section, const char* key, int default_value) {
    char value[32] = {0};
    if (!text_read_string(text, section, key, value, sizeof value, nullptr)) return default_value;
    // atoi's reading of the digits, without its undefined overflow.
    long n = strtol(value, nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

int read_profile_string(const char* section, const char* key, char* value, int size,
                        const char* default_value, const char* file) {
    INI_REQUIRE(section != nullptr && strlen(section), "section != ((void *)0) && strlen(section)");
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    INI_REQUIRE(value != nullptr, "value != ((void *)0)");
    INI_REQUIRE(size > 0, "size > 0");
    INI_REQUIRE(file != nullptr && strlen(key), "file !=((void *)0) &&strlen(key)");
    check_ini_file();
    char buf[INI_BUF_SIZE] = {0};
    int file_size = 0;
    if (!load_ini_file(file, buf, &file_size)) buf[0] = '\0';
    return text_read_string(buf, section, key, value, size, default_value);
}

int read_profile_int(const char* section, const char* key, int default_value, const char* file) {
    INI_REQUIRE(section != nullptr && strlen(section), "section != ((void *)0) && strlen(section)");
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    INI_REQUIRE(file != nullptr && strlen(key), "file !=((void *)0) &&strlen(key)");
    check_ini_file();
    char buf[INI_BUF_SIZE] = {0};
    int file_size = 0;
    if (!load_ini_file(file, buf, &file_size)) return default_value;
    return text_read_int(buf, section, key, default_value);
}

bool IniText::add(const char* s, size_t n) {
    if (n > static_cast<size_t>(limit - len)) return false;
    memcpy(buf + len, s, n);
    len += static_cast<int>(n);
    return true;
}

namespace {

// The file, created first when the edit may create it: the store never
// creates through a link, and always with the one shared mode.
const char* creating(const char* file, bool create) {
    if (create && ini_autocreate.load()) create_shared_file(file);
    return file;
}

}  // namespace

IniEdit::IniEdit(const char* file, bool create)
    : path_(file), file_(creating(file, create), O_RDWR, LOCK_EX) {
    if (file_.ok() && !file_.locked()) {
        fprintf(stderr, "Cannot write %s: locked by %s\n", file, lock_holder(file_.fd()).c_str());
        return;
    }
    int text_len = 0;
    if (!file_.ok() || read_whole(file_.fd(), raw_, &raw_len_, &text_len) != Load::ok) return;
    stop_ = raw_[text_len];
    raw_[text_len] = '\0';  // the text alone is looked at; the byte is put back
    text_ = raw_;
    tail_ = text_len;
}

bool IniEdit::get(const char* section, const char* key, char* value, int size) const {
    return text_ != nullptr && text_read_string(text_, section, key, value, size, nullptr) == 1;
}

bool IniEdit::set(const char* section, const char* key, const char* value) {
    if (!text_ || failed_) return false;
    IniText& next = next_text(MAX_TEXT);
    if (!build_write(text_, section, key, value, next)) {
        failed_ = true;  // the edit as a whole cannot be stored
        return false;
    }
    take(next);
    return true;
}

bool IniEdit::replace_body(const char* first, const char* following, const char* body,
                           const TwotyLimits& limits) {
    // A file with bytes past its text is left to the key-by-key writes,
    // which keep them.
    if (!text_ || failed_ || tail_ != raw_len_ || static_cast<int>(strlen(text_)) > limits.file)
        return false;
    IniText& next = next_text(limits.file);
    if (!build_twoty(text_, first, following, body, limits, next)) return false;
    take(next);
    return true;
}

IniText& IniEdit::next_text(int limit) {
    IniText& next = texts_[text_ == texts_[0].buf ? 1 : 0];
    next.len = 0;
    next.limit = limit;
    return next;
}

void IniEdit::take(IniText& next) {
    next.buf[next.len] = '\0';
    text_ = next.buf;
}

int IniEdit::commit() {
    if (!text_ || failed_) return 0;
    if (text_ == raw_) return 1;  // nothing to change
    // The bytes after the text (from a NUL or 0xFF on) stay as they were.
    raw_[tail_] = stop_;
    IniText& whole = text_ == texts_[0].buf ? texts_[0] : texts_[1];
    whole.limit = MAX_TEXT;
    if (!whole.add(raw_ + tail_, raw_len_ - tail_)) return 0;
    return file_.replace(path_, whole.buf, whole.len) ? 1 : 0;
}

int write_profile_string(const char* section, const char* key, const char* value,
                         const char* file) {
    INI_REQUIRE(section != nullptr && strlen(section), "section != ((void *)0) && strlen(section)");
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    INI_REQUIRE(value != nullptr, "value != ((void *)0)");
    INI_REQUIRE(file != nullptr && strlen(key), "file !=((void *)0) &&strlen(key)");
    check_ini_file();
    IniEdit edit(file);
    edit.set(section, key, value);
    return edit.commit();
}

int WriteTwotyValue(const char* first, const char* following, const char* body, const char* file,
                    const TwotyLimits& limits) {
    IniEdit edit(file, false);
    if (!edit.opened()) {
        puts("open file failed");
        return 0;
    }
    if (!edit.replace_body(first, following, body, limits)) return 0;
    if (!edit.commit()) {
        puts("open file failed");
        return 0;
    }
    return 1;
}

namespace {

// The message file's text, NUL-terminated: at most MSG_BUF_SIZE - 1 bytes,
// ending early at a 0xFF byte; whatever lies beyond is ignored.
bool load_msg_text(char (&buf)[MSG_BUF_SIZE]) {
    // A FIFO would hold the open, and then the read, for ever.
    int fd = open(MSG_FILE, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    size_t len = 0;
    while (len < sizeof buf - 1) {
        ssize_t n = read_retry(fd, buf + len, sizeof buf - 1 - len);
        if (n <= 0) break;
        len += static_cast<size_t>(n);
    }
    close(fd);
    buf[len] = '\0';
    if (void* stop = memchr(buf, END_OF_FILE, len)) *static_cast<char*>(stop) = '\0';
    return true;
}

// The text for key in the message text, or nullptr; *len is its length.
const char* find_msg(const char* text, const char* key, size_t* len) {
    const char* at = strstr(text, key);
    if (!at) return nullptr;
    const char* p = at;
    while (*p != '\0' && *p != '=' && *p != '\n') ++p;
    // A line holding the key without '=' yields the key and the rest of the line.
    const char* start = *p == '=' ? p + 1 : at;
    *len = strcspn(start, "\n");
    return start;
}

}  // namespace

int ReadMsg(const char* /*section*/, const char* key, char* value, int size, const char* /*file*/) {
    INI_REQUIRE(key != nullptr && strlen(key), "key != ((void *)0) && strlen(key)");
    INI_REQUIRE(value != nullptr, "value != ((void *)0)");
    INI_REQUIRE(size > 0, "size > 0");
    char buf[MSG_BUF_SIZE];
    if (!load_msg_text(buf)) {
        printf("open the file :%s failed!\n", MSG_FILE);
        return -1;
    }
    size_t len = 0;
    const char* text = find_msg(buf, key, &len);
    if (!text) return 0;
    if (len > static_cast<size_t>(size - 1)) len = size - 1;
    memcpy(value, text, len);
    value[len] = '\0';
    return 0;
}
