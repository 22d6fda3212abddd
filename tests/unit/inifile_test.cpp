#include "store/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "store/paths.h"
#include "test_support.h"

namespace {

std::string read_string(const std::string& file, const char* section, const char* key,
                        int size = 64, const char* def = nullptr) {
    std::string buf(size, '#');
    int found = read_profile_string(section, key, &buf[0], size, def, file.c_str());
    if (!found && !def) return "<missing>";
    return std::string(buf.c_str());
}

struct Lookup {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    const char* expected;  // nullptr: not found
};

void PrintTo(const Lookup& c, std::ostream* os) { *os << c.name; }

class LookupTest : public ::testing::TestWithParam<Lookup> {};

TEST_P(LookupTest, FindsExactlyTheRequestedKey) {
    const Lookup& c = GetParam();
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, c.text);
    EXPECT_EQ(read_string(file, c.section, c.key), c.expected ? c.expected : "<missing>");
}

INSTANTIATE_TEST_SUITE_P(
    Ini, LookupTest,
    ::testing::Values(
        Lookup{"ShorterKeyAfterLonger", "[c]\ndotX19=19\ndotX1=1\n", "c", "dotX1", "1"},
        Lookup{"LongerKeyAfterShorter", "[c]\ndotX1=1\ndotX10=10\n", "c", "dotX10", "10"},
        Lookup{"PrefixOfPresentKeyOnly", "[c]\ndotX10=10\n", "c", "dotX1", nullptr},
        Lookup{"SectionPrefixHeader", "[coord]\na=1\n", "coordinate", "a", nullptr},
        Lookup{"SectionLongerHeader", "[coordinateX]\na=1\n", "coordinate", "a", nullptr},
        Lookup{"RightSectionAmongPrefixes", "[coord]\na=1\n[coordinateX]\na=2\n[coordinate]\na=3\n",
               "coordinate", "a", "3"},
        Lookup{"KeyStopsAtNextSection", "[a]\nx=1\n[b]\ny=2\n", "a", "y", nullptr},
        Lookup{"CommentNeverFound", "[s]\n;k=1\n", "s", ";k", nullptr},
        Lookup{"CommentSkipped", "[s]\n;k=1\nk=2\n", "s", "k", "2"},
        Lookup{"BlankBeforeEqualsIsPartOfKey", "[s]\nk =1\n", "s", "k", nullptr},
        Lookup{"BlankKeyFoundWithBlank", "[s]\nk = 1\n", "s", "k ", " 1"},
        Lookup{"LineWithoutEqualsSkipped", "[s]\nk\nk=5\n", "s", "k", "5"},
        Lookup{"LineStartingWithEqualsSkipped", "[s]\n=k=1\nk=2\n", "s", "k", "2"},
        Lookup{"ValueUpToFirstEqualsOnly", "[s]\nk=a=b\n", "s", "k", "a=b"},
        Lookup{"RepeatedSectionFirstPlaceFirst", "[s]\nk=1\n[t]\n[s]\nk=2\n", "s", "k", "1"},
        Lookup{"RepeatedSectionSecondPlace", "[s]\nj=1\n[t]\nk=0\n[s]\nk=2\n", "s", "k", "2"},
        Lookup{"CarriageReturnEndsLine", "[s]\r\nk=1\r\nm=2\r\n", "s", "k", "1"},
        Lookup{"LastLineWithoutLineEnd", "[s]\nk=7", "s", "k", "7"},
        Lookup{"EmptyValue", "[s]\nk=\n", "s", "k", ""},
        Lookup{"HeaderMustStartLine", "x [s]\nk=1\n", "s", "k", nullptr},
        Lookup{"UnclosedHeaderEndsAtItsLine", "[HOTK\n[s]\nk=1\n", "s", "k", "1"},
        Lookup{"UnclosedHeaderNamesItsLine", "[s\nk=1\n", "s", "k", "1"},
        Lookup{"BlankLinesAfterHeader", "[s]\n\n \t\nk=3\n", "s", "k", "3"},
        Lookup{"ByteFFEndsText", std::string("[s]\na=1\n\xff\nk=2\n"), "s", "k", nullptr},
        Lookup{"ByteFFAfterValue",
               std::string("[s]\nk=2\xff"
                           "9\n"),
               "s", "k", "2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseFile, ReportsIndicesOfSectionKeyAndValue) {
    const char* text = "[a]\nz=0\n[sec]\n  \nkey=val\n";
    int sec_s, sec_e, key_s, key_e, value_s, value_e;
    ASSERT_EQ(parse_file("sec", "key", text, &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e),
              1);
    EXPECT_EQ(sec_s, 9);   // 's' of "sec"
    EXPECT_EQ(sec_e, 17);  // first character after the blank lines
    EXPECT_EQ(key_s, 17);
    EXPECT_EQ(key_e, 19);    // 'y'
    EXPECT_EQ(value_s, 21);  // 'v'
    EXPECT_EQ(value_e, 24);  // the line end
}

TEST(ParseFile, MissingKeyLeavesSectionOfLastMatch) {
    const char* text = "[s]\na=1\n[t]\n[s]\nb=2\n";
    int sec_s, sec_e, key_s, key_e, value_s, value_e;
    EXPECT_EQ(parse_file("s", "k", text, &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e), 0);
    EXPECT_EQ(sec_s, 13);
    EXPECT_EQ(sec_e, 16);
    EXPECT_EQ(key_s, -1);
    EXPECT_EQ(value_e, -1);
    EXPECT_EQ(parse_file("none", "k", text, &sec_s, &sec_e, &key_s, &key_e, &value_s, &value_e), 0);
    EXPECT_EQ(sec_s, -1);
    EXPECT_EQ(sec_e, -1);
}

struct Write {
    const char* name;
    std::string before;  // "<none>": the file does not exist
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

void PrintTo(const Write& c, std::ostream* os) { *os << c.name; }

class WriteTest : public ::testing::TestWithParam<Write> {};

TEST_P(WriteTest, ProducesExactBytes) {
    const Write& c = GetParam();
    TempDir dir;
    const std::string file = dir.file("t.ini");
    if (c.before != "<none>") write_file(file, c.before);
    EXPECT_EQ(write_profile_string(c.section, c.key, c.value, file.c_str()), 1);
    EXPECT_EQ(read_file(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Ini, WriteTest,
    ::testing::Values(
        Write{"NewFile", "<none>", "sec", "k", "v", "[sec]\nk=v\n"},
        Write{"EmptyFile", "", "sec", "k", "v", "[sec]\nk=v\n"},
        Write{"NewSectionAtEnd", "[a]\nx=1\n", "sec", "k", "v", "[a]\nx=1\n\n[sec]\nk=v\n"},
        Write{"NewKeyFirstInSection", "[s]\na=1\n[t]\nb=2\n", "s", "k", "v",
              "[s]\nk=v\na=1\n[t]\nb=2\n"},
        Write{"UpdateInPlaceKeepsEverythingElse", "; top\n[s]\na=1\nk=old value\r\nz=9\n[t]\nk=3\n",
              "s", "k", "new", "; top\n[s]\na=1\nk=new\r\nz=9\n[t]\nk=3\n"},
        Write{"UpdateOnLastLineWithoutLineEnd", "[s]\nk=1", "s", "k", "22", "[s]\nk=22"},
        Write{"UpdateLongerThanOld", "[s]\nk=1\nm=2\n", "s", "k", "12345", "[s]\nk=12345\nm=2\n"},
        Write{"UpdateToEmpty", "[s]\nk=1\n", "s", "k", "", "[s]\nk=\n"},
        Write{"HeaderOnLastLineGetsLineEnd", "[a]\nx=1\n[s]", "s", "k", "v",
              "[a]\nx=1\n[s]\nk=v\n"},
        Write{"KeyGoesIntoLastOfRepeatedSections", "[s]\na=1\n[t]\n[s]\nb=2\n", "s", "k", "v",
              "[s]\na=1\n[t]\n[s]\nk=v\nb=2\n"},
        Write{"ByteFFEndsTheOldTextAndIsKept", std::string("[s]\na=1\n\xff junk"), "s", "a", "2",
              "[s]\na=2\n\xff junk"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteProfileString, KeysInsertedNewestFirst) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    for (const char* k : {"a", "b", "c"})
        ASSERT_EQ(write_profile_string("s", k, k, file.c_str()), 1);
    EXPECT_EQ(read_file(file), "[s]\nc=c\nb=b\na=a\n");
}

TEST(WriteProfileString, TwentyEightPrefixKeysStayDistinct) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[HOTKEY]\n[QMEdgetab]\nkeyX1=99\n");
    for (int i = 0; i < 28; ++i) {
        std::string key = "keyX" + std::to_string(i);
        ASSERT_EQ(write_profile_string("HOTKEY", key.c_str(), std::to_string(100 + i).c_str(),
                                       file.c_str()),
                  1);
    }
    std::string expected = "[HOTKEY]\n";
    for (int i = 27; i >= 0; --i)
        expected += "keyX" + std::to_string(i) + "=" + std::to_string(100 + i) + "\n";
    expected += "[QMEdgetab]\nkeyX1=99\n";
    EXPECT_EQ(read_file(file), expected);
    for (int i = 0; i < 28; ++i) {
        std::string key = "keyX" + std::to_string(i);
        EXPECT_EQ(read_profile_int("HOTKEY", key.c_str(), -5, file.c_str()), 100 + i) << key;
    }
}

TEST(WriteProfileString, KeepsModeAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[s]\nk=1\n");
    chmod(file.c_str(), 0777);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(write_profile_string("s", "k", "2", file.c_str()), 1);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0777u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"t.ini"});
}

TEST(WriteProfileString, UnwritableFileIsLeftAlone) {
    TempDir dir;
    const std::string file = dir.file("sub");
    mkdir(file.c_str(), 0755);  // a directory cannot be opened for writing
    EXPECT_EQ(write_profile_string("s", "k", "v", file.c_str()), 0);
    EXPECT_EQ(read_string(file, "s", "k", 16, "dflt"), "dflt");
}

// A user other than the file's owner can still rewrite a world-writable file
// in a directory only root may write to: the rewrite then happens in place.
TEST(WriteProfileString, RewritesInPlaceWhenTheDirectoryIsNotWritable) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[s]\nk=1\nlong=xxxxxxxxxxxxxxxxxxxx\n");
    chmod(file.c_str(), 0777);
    chmod(dir.path().c_str(), 0755);
    pid_t child = fork();
    if (child == 0) {
        if (setuid(65534) != 0) _exit(2);
        bool ok = write_profile_string("s", "k", "2", file.c_str()) == 1 &&
                  write_profile_string("s", "long", "y", file.c_str()) == 1;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(file), "[s]\nk=2\nlong=y\n");
}

TEST(ReadProfileString, CutsToBufferSize) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[s]\nk=abcdefghij\n");
    char buf[8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(read_profile_string("s", "k", buf, 5, nullptr, file.c_str()), 1);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], '#');  // nothing written past the given size
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(read_profile_string("s", "missing", buf, 5, "0123456789", file.c_str()), 0);
    EXPECT_STREQ(buf, "0123");
    EXPECT_EQ(buf[5], '#');
}

TEST(ReadProfileString, MissingKeyWithoutDefaultLeavesBuffer) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[s]\nk=1\n");
    char buf[8] = "keep";
    EXPECT_EQ(read_profile_string("s", "x", buf, sizeof buf, nullptr, file.c_str()), 0);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(read_profile_string("s", "x", buf, sizeof buf, nullptr, dir.file("none").c_str()), 0);
    EXPECT_STREQ(buf, "keep");
}

TEST(ReadProfileInt, ConvertsLikeAtoiWithDefaults) {
    struct Case {
        const char* value;  // nullptr: key missing
        int expected;
    } cases[] = {
        {nullptr, -7},
        {"42", 42},
        {"-1", -1},
        {"abc", 0},
        {"12ab", 12},
        {" 5", 5},
        {"", 0},
        {"+3", 3},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"0x10", 0},
    };
    TempDir dir;
    const std::string file = dir.file("t.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        write_file(file, c.value ? std::string("[s]\nk=") + c.value + "\n" : "[s]\nj=1\n");
        EXPECT_EQ(read_profile_int("s", "k", -7, file.c_str()), c.expected);
    }
    EXPECT_EQ(read_profile_int("s", "k", -7, dir.file("absent").c_str()), -7);
}

// The text limit: 16383 bytes fit; anything that would pass it is refused and
// leaves the file as it was.
TEST(Limits, FileAtAndOverTheBufferSize) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    const std::string head = "[s]\nk=1\n[pad]\np=";
    const std::string at_limit = head + std::string(16383 - head.size() - 1, 'x') + "\n";
    ASSERT_EQ(at_limit.size(), 16383u);

    write_file(file, at_limit);
    EXPECT_EQ(read_profile_int("s", "k", -1, file.c_str()), 1);
    EXPECT_EQ(write_profile_string("s", "k", "2", file.c_str()), 1);   // same size
    EXPECT_EQ(write_profile_string("s", "k", "22", file.c_str()), 0);  // one byte more
    EXPECT_EQ(write_profile_string("new", "k", "1", file.c_str()), 0);
    EXPECT_EQ(read_file(file), head.substr(0, 6) + "2" + at_limit.substr(7));

    const std::string over = at_limit + "q";
    write_file(file, over);
    EXPECT_EQ(read_profile_int("s", "k", -1, file.c_str()), -1);
    EXPECT_EQ(write_profile_string("s", "k", "3", file.c_str()), 0);
    EXPECT_EQ(read_file(file), over);
    char buf[INI_BUF_SIZE];
    int size = 123;
    EXPECT_EQ(load_ini_file(file.c_str(), buf, &size), 0);
    EXPECT_EQ(size, 0);

    // A 0xFF byte ends the text before the limit: the rest does not count.
    write_file(file, "[s]\nk=4\n\xff" + std::string(20000, 'z'));
    EXPECT_EQ(load_ini_file(file.c_str(), buf, &size), 1);
    EXPECT_EQ(size, 8);
    EXPECT_EQ(read_profile_int("s", "k", -1, file.c_str()), 4);
    // ...but a rewrite must keep it, and the whole file would not fit.
    EXPECT_EQ(write_profile_string("s", "k", "5", file.c_str()), 0);
    EXPECT_EQ(read_file(file), "[s]\nk=4\n\xff" + std::string(20000, 'z'));
}

// A NUL or 0xFF byte ends the text that lookups see; a write changes the text
// and keeps every byte after it (stored keys beyond a stray byte are not lost).
TEST(WriteProfileString, KeepsTheBytesAfterTheText) {
    const std::string tail = "\n[coordinate]\ndotNum=4\ndotX0=400\n";
    struct Case {
        const char* name;
        std::string stray;
    } cases[] = {{"nul", std::string(1, '\0')}, {"ff", "\xff"}, {"ff_pair", "\xff\xff"}};
    TempDir dir;
    const std::string file = dir.file("t.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file, "[PID]\nQuilld=-1\n" + c.stray + tail);
        ASSERT_EQ(write_profile_string("PID", "Quilld", "4242", file.c_str()), 1);
        ASSERT_EQ(write_profile_string("PID", "Zuraze", "-1", file.c_str()), 1);
        EXPECT_EQ(read_file(file), "[PID]\nZuraze=-1\nQuilld=4242\n" + c.stray + tail);
        EXPECT_EQ(read_profile_int("PID", "Quilld", 0, file.c_str()), 4242);
        // The block rewrite cannot keep them: it refuses, and the caller
        // writes key by key.
        EXPECT_EQ(WriteTwotyValue("PID", "coordinate", "Quilld=1\n", file.c_str()), 0);
        EXPECT_EQ(read_file(file), "[PID]\nZuraze=-1\nQuilld=4242\n" + c.stray + tail);
    }
}

struct Twoty {
    const char* name;
    std::string before;
    std::string body;
    std::string after;  // empty: refused, file unchanged
};

void PrintTo(const Twoty& c, std::ostream* os) { *os << c.name; }

class TwotyTest : public ::testing::TestWithParam<Twoty> {};

TEST_P(TwotyTest, ReplacesBodyOrLeavesFileUnchanged) {
    const Twoty& c = GetParam();
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, c.before);
    int result = WriteTwotyValue("coordinate", "HOTKEY", c.body.c_str(), file.c_str());
    EXPECT_EQ(result, c.after.empty() ? 0 : 1);
    EXPECT_EQ(read_file(file), c.after.empty() ? c.before : c.after);
}

const std::string kTail = "[HOTKEY]\nkeyX0=5\n[PID]\nQuilld=-1\n";

INSTANTIATE_TEST_SUITE_P(
    Ini, TwotyTest,
    ::testing::Values(
        Twoty{"ReplacesBody", "[coordinate]\ndotNum=9\ndotX0=1\n" + kTail, "dotNum=20\nx=1\n",
              "[coordinate]\ndotNum=20\nx=1\n" + kTail},
        Twoty{"KeepsHeadBeforeSection", "[PID]\nZuraze=3\n[coordinate]\nold=1\n" + kTail, "new=2\n",
              "[PID]\nZuraze=3\n[coordinate]\nnew=2\n" + kTail},
        Twoty{"EmptyOldBody", "[coordinate]\n" + kTail, "a=1\n", "[coordinate]\na=1\n" + kTail},
        Twoty{"FirstNameMissing", "[coord]\na=1\n" + kTail, "b=2\n", ""},
        Twoty{"FollowingNameMissing", "[coordinate]\na=1\n[PID]\n", "b=2\n", ""},
        Twoty{"FollowingBeforeFirst", kTail + "[coordinate]\na=1\n", "b=2\n", ""},
        Twoty{"HeaderOnLastLine", "[coordinate]", "b=2\n", ""},
        Twoty{"HeadOver99Bytes", "[PID]\n" + std::string(90, ';') + "\n[coordinate]\na=1\n" + kTail,
              "b=2\n", ""},
        Twoty{"TailOver498Bytes", "[coordinate]\na=1\n[HOTKEY]\n" + std::string(490, ';') + "\n",
              "b=2\n", ""},
        Twoty{"ResultOver1123Bytes", "[coordinate]\na=1\n" + kTail, std::string(1100, ';') + "\n",
              ""},
        Twoty{
            "FileOver1123Bytes",
            "[coordinate]\n" + std::string(700, ';') + "\n" + kTail + std::string(400, ';') + "\n",
            "b=2\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteTwotyValue, MissingFileIsReportedAndNotCreated) {
    TempDir dir;
    const std::string file = dir.file("absent.ini");
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteTwotyValue("coordinate", "HOTKEY", "a=1\n", file.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file failed\n");
    EXPECT_NE(access(file.c_str(), F_OK), 0);
}

TEST(Preconditions, StopWithTheAssertionText) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    const char* f = file.c_str();
    char buf[8];
    EXPECT_DEATH(read_profile_string("", "k", buf, 8, nullptr, f),
                 "section != \\(\\(void \\*\\)0\\) && strlen\\(section\\)");
    EXPECT_DEATH(read_profile_int(nullptr, "k", 0, f),
                 "section != \\(\\(void \\*\\)0\\) && strlen\\(section\\)");
    EXPECT_DEATH(write_profile_string("s", "", "v", f),
                 "key != \\(\\(void \\*\\)0\\) && strlen\\(key\\)");
    EXPECT_DEATH(write_profile_string("s", "k", nullptr, f), "value != \\(\\(void \\*\\)0\\)");
    EXPECT_DEATH(read_profile_string("s", "k", buf, 0, nullptr, f), "size > 0");
    EXPECT_DEATH(read_profile_int("s", "k", 0, nullptr),
                 "file !=\\(\\(void \\*\\)0\\) &&strlen\\(key\\)");
    int size;
    EXPECT_DEATH(load_ini_file(f, nullptr, &size), "buf !=\\(\\(void \\*\\)0\\)");
    int a, b, c, d, e, g;
    EXPECT_DEATH(parse_file("s", "k", nullptr, &a, &b, &c, &d, &e, &g),
                 "buf!=\\(\\(void \\*\\)0\\)");
}

TEST(CheckIniFile, CreatesTheSharedFileWritableByAll) {
    ASSERT_TRUE(in_sandbox()) << "writes the fixed configuration path: run it through ctest";
    unlink(CONFIG_FILE);
    rmdir(QMRV_DIR);
    char buf[INI_BUF_SIZE];
    int size = 5;
    EXPECT_EQ(load_ini_file(CONFIG_FILE, buf, &size), 1);  // the read itself creates it
    EXPECT_EQ(size, 0);
    struct stat st;
    ASSERT_EQ(stat(CONFIG_FILE, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0666u);  // the package's mode: no execute bits
    EXPECT_EQ(st.st_size, 0);
    // An existing file is left as it is.
    write_file(CONFIG_FILE, "[PID]\nQuilld=5\n");
    chmod(CONFIG_FILE, 0640);
    check_ini_file();
    ASSERT_EQ(stat(CONFIG_FILE, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_file(CONFIG_FILE), "[PID]\nQuilld=5\n");
}

// Two processes rewrite the same file at the same moment: no write is lost.
TEST(Concurrency, TwoWritersKeepAllTheirKeys) {
    TempDir dir;
    const std::string file = dir.file("t.ini");
    write_file(file, "[PID]\nQuilld=-1\n");
    constexpr int kKeys = 200;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        if (writers[w] == 0) {
            const char* section = w == 0 ? "HOTKEY" : "QMEdgetab";
            for (int i = 0; i < kKeys; ++i) {
                std::string key = std::string(w == 0 ? "keyX" : "QMkeyX") + std::to_string(i);
                if (!write_profile_string(section, key.c_str(), std::to_string(i * 7 + w).c_str(),
                                          file.c_str()))
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < 2; ++w) {
        const char* section = w == 0 ? "HOTKEY" : "QMEdgetab";
        for (int i = 0; i < kKeys; ++i) {
            std::string key = std::string(w == 0 ? "keyX" : "QMkeyX") + std::to_string(i);
            ASSERT_EQ(read_profile_int(section, key.c_str(), -1, file.c_str()), i * 7 + w) << key;
        }
    }
    EXPECT_EQ(read_profile_int("PID", "Quilld", 0, file.c_str()), -1);
}

}  // namespace
