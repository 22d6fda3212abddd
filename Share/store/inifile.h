// INI profile store: whole-file reads and rewrites of a small INI text file.
// Every read holds a shared flock on the file and every read-modify-write an
// exclusive one; a rewrite replaces the file atomically where the directory
// allows it, so no reader ever sees a half-written file and no write is lost.
#pragma once

#include <cstddef>
#include <cstring>

#include "store/fileio.h"

// The working buffer; the text it holds is NUL-terminated, so a file may hold
// at most INI_BUF_SIZE - 1 bytes before its end (a 0xFF byte also ends it).
constexpr int INI_BUF_SIZE = 1024 * 16;

// Limits of the block rewrite: whole file, kept head and kept tail.
struct TwotyLimits {
    int file;
    int head;
    int tail;
};
constexpr TwotyLimits TWOTY_TOOL_LIMITS{1123, 99, 498};
constexpr TwotyLimits TWOTY_SERVICE_LIMITS{2123, 99, 998};

// Makes sure the shared configuration file exists: its directory created, the
// file created empty and made writable by every user. Never runs a shell.
void check_ini_file();

// Whether the store creates a missing configuration file (check_ini_file
// before every access, and a write creating the file). On by default; a
// program that must never create it turns it off once at start.
void set_ini_autocreate(bool on);

// 1 when the file was read into buf (NUL-terminated at the first 0xFF or the
// end), 0 when it cannot be opened or is over the buffer's limit (size 0).
int load_ini_file(const char* file, char* buf, int* file_size);

// 1 when the key was found in the section, else 0. All six indices are -1
// when not found; sec_s/sec_e then describe the last matching section, if any.
int parse_file(const char* section, const char* key, const char* buf, int* sec_s, int* sec_e,
               int* key_s, int* key_e, int* value_s, int* value_e);

// 1 when found (value copied, cut to size - 1); 0 when not found or the file is
// unreadable (default_value copied, cut to size - 1, when it is not null).
int read_profile_string(const char* section, const char* key, char* value, int size,
                        const char* default_value, const char* file);

// The value as a decimal int (leading digits, clamped to the int range; 0 for
// no digits), or default_value when the key is missing or the file unreadable.
int read_profile_int(const char* section, const char* key, int default_value, const char* file);

// 1 on success; 0 when the file cannot be opened for writing, the new text
// would be over the buffer's limit, or the write fails (file then unchanged).
int write_profile_string(const char* section, const char* key, const char* value, const char* file);

// Replaces the body of section `first` (whose header "[first]" must be
// followed by a line end) up to the header of section `following` with `body`.
// 1 on success; 0 when a name is missing or out of order, a limit would be
// exceeded or the write fails, and then the file is unchanged. The
// calibration store does the same inside its one IniEdit, so that a 20-point
// block lands in the same write as whatever else it changes.
int WriteTwotyValue(const char* first, const char* following, const char* body, const char* file,
                    const TwotyLimits& limits = TWOTY_TOOL_LIMITS);

// One read-modify-write of a whole file under its exclusive lock: each change
// applies to the text in memory exactly as the single-key write would apply
// it to the file, and commit() rewrites the file once, so the file afterwards
// holds every change or none. The bytes after the text (from a NUL or 0xFF
// byte on) are kept. When another process holds the lock past LOCK_WAIT_MS,
// prints "Cannot write <file>: locked by <holder>" on standard error and
// changes nothing.
struct IniText {
    explicit IniText(int limit = INI_BUF_SIZE - 1) : limit(limit) {}
    bool add(const char* s, size_t n);
    bool add(const char* s) { return add(s, strlen(s)); }
    char buf[INI_BUF_SIZE];
    int len = 0;
    int limit;
};

class IniEdit {
public:
    // create: a missing file is created (when the store creates files).
    explicit IniEdit(const char* file, bool create = true);
    IniEdit(const IniEdit&) = delete;
    IniEdit& operator=(const IniEdit&) = delete;

    bool opened() const { return file_.ok(); }
    // As write_profile_string; false when the text would pass the buffer's
    // limit, and then commit() refuses the whole edit.
    bool set(const char* section, const char* key, const char* value);
    // The value of key in the text as edited so far; false when it has none.
    bool get(const char* section, const char* key, char* value, int size) const;
    // As WriteTwotyValue; false, and the text unchanged, when the file has
    // bytes past its text or the section or a limit does not allow it.
    bool replace_body(const char* first, const char* following, const char* body,
                      const TwotyLimits& limits);
    // 1 when the file now holds the edited text; 0 when it could not be
    // opened, read, locked or written, or a change did not fit (file unchanged).
    int commit();

private:
    IniText& next_text(int limit);
    void take(IniText& next);

    const char* path_;
    LockedFile file_;
    char raw_[INI_BUF_SIZE];  // the file as read
    int raw_len_ = 0;
    int tail_ = 0;                // where the bytes past the text begin in raw_
    char stop_ = '\0';            // the byte there
    const char* text_ = nullptr;  // the current text: in raw_ or in texts_
    IniText texts_[2];
    bool failed_ = false;
};

// Lookups in a text already loaded with load_ini_file, so that several keys
// can be read from one consistent snapshot of the file.
int text_read_string(const char* text, const char* section, const char* key, char* value, int size,
                     const char* default_value);
int text_read_int(const char* text, const char* section, const char* key, int default_value);

// Character classes of the parser: 1 or 0.
int newline(char c);        // '\n' or '\r'
int end_of_string(char c);  // NUL
int left_barce(char c);     // '['
int isright_brace(char c);  // ']'

// Message catalogue: the texts the graphical programs show, looked up by key
// in the fixed message file MSG_FILE.
constexpr int MSG_BUF_SIZE = 1024;  // the file is read up to MSG_BUF_SIZE - 1 bytes

// Copies the text of the first occurrence of `key` anywhere in the message
// file into value, cut to size - 1 bytes: from after the next '=' on that
// line, or from the key itself when the line ends first; up to the line's
// '\n' (a '\r' before it is kept). 0 whether found or not (value untouched
// when not found); -1 when the message file cannot be opened. `section` and
// `file` are not used: the text always comes from MSG_FILE.
int ReadMsg(const char* section, const char* key, char* value, int size, const char* file);
