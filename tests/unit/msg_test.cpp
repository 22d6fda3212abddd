#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "store/fileio.h"
#include "store/inifile.h"
#include "store/paths.h"
#include "test_support.h"
#include "warning_window.h"

namespace {

constexpr char UNTOUCHED = '#';
constexpr int GUARD = 16;  // bytes past the caller's size that must stay as they were

struct Answer {
    int result;
    std::string text;  // "<untouched>" when the buffer was left as it was
};

// ReadMsg into a buffer of `size` bytes followed by guard bytes.
Answer read_msg(const char* key, int size, const char* file = CONFIG_FILE) {
    std::string buf(size + GUARD, UNTOUCHED);
    const int result = ReadMsg(SEC_QUILLD_MSG, key, &buf[0], size, file);
    EXPECT_EQ(buf.substr(size), std::string(GUARD, UNTOUCHED)) << "wrote past the buffer";
    if (buf.substr(0, size) == std::string(size, UNTOUCHED)) return {result, "<untouched>"};
    const size_t end = buf.find('\0');
    EXPECT_LT(end, static_cast<size_t>(size)) << "text not terminated within the buffer";
    return {result, buf.substr(0, end)};
}

// Every test owns the fixed message file (private to the sandbox).
class MsgFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_sandbox()) << "writes the fixed message file: run it through ctest";
        ASSERT_EQ(make_dirs(QMRV_DIR), 1);
        unlink(MSG_FILE);
    }
    void TearDown() override { unlink(MSG_FILE); }
};

struct Lookup {
    const char* name;
    std::string file;
    const char* key;
    int size;
    const char* expected;  // nullptr: buffer untouched
};

void PrintTo(const Lookup& c, std::ostream* os) { *os << c.name; }

class ReadMsgLookup : public MsgFile, public ::testing::WithParamInterface<Lookup> {};

TEST_P(ReadMsgLookup, AnswersFromTheFirstOccurrence) {
    const Lookup& c = GetParam();
    write_file(MSG_FILE, c.file);
    const Answer got = read_msg(c.key, c.size);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.text, c.expected ? c.expected : "<untouched>");
}

INSTANTIATE_TEST_SUITE_P(
    Quirks, ReadMsgLookup,
    ::testing::Values(
        Lookup{"OwnLine", "[Quilld_Msg]\nB_Wa=Warning\n", "B_Wa", 64, "Warning"},
        Lookup{"SectionNotConsulted", "[Other]\nK_ONE=text\n", "K_ONE", 64, "text"},
        Lookup{"FirstInsideAnotherText", "[s]\nA_ONE=see A_TWO here\nA_TWO=own\n", "A_TWO", 64,
               "A_TWO here"},
        Lookup{"FirstInsideAnotherTextBeforeEquals", "[s]\nA_ONE=A_TWO means=this\nA_TWO=own\n",
               "A_TWO", 64, "this"},
        Lookup{"InsideLongerKey", "[s]\nKEYX=longer\nKEY=own\n", "KEY", 64, "longer"},
        Lookup{"InsideSectionHeader", "[B_Wa]\nB_Wa=own\n", "B_Wa", 64, "B_Wa]"},
        Lookup{"LineWithoutEquals", "[s]\nK_A rest of line\nK_A=own\n", "K_A", 64,
               "K_A rest of line"},
        Lookup{"LastLineWithoutLineEnd", "[s]\nK_A=last", "K_A", 64, "last"},
        Lookup{"LastLineWithoutEqualsNorLineEnd", "[s]\nK_A tail", "K_A", 64, "K_A tail"},
        Lookup{"CrlfKeepsCarriageReturn", "[s]\r\nK_A=text\r\nK_B=next\r\n", "K_A", 64, "text\r"},
        Lookup{"CrlfLineWithoutEquals", "[s]\r\nK_A tail\r\nK_B=x\r\n", "K_A", 64, "K_A tail\r"},
        Lookup{"TextRunsToLineEndPastEquals", "K_A=a=b\n", "K_A", 64, "a=b"},
        Lookup{"EmptyText", "K_A=\nK_B=x\n", "K_A", 64, ""},
        Lookup{"MissingKeyLeavesBuffer", "[s]\nK_A=x\n", "K_B", 64, nullptr},
        Lookup{"CaseMatters", "b_wa=x\n", "B_Wa", 64, nullptr},
        Lookup{"EmptyFile", "", "K_A", 64, nullptr},
        Lookup{"ByteFFEndsFile", "K_A=x\n\xff" "K_B=y\n", "K_B", 64, nullptr},
        Lookup{"ByteFFEndsText", "K_A=ab\xff" "cd\n", "K_A", 64, "ab"},
        Lookup{"LongerTextCutToBuffer", "K_A=abcdefghij\nK_B=x\n", "K_A", 6, "abcde"},
        Lookup{"TextFillsBufferExactly", "K_A=abcde\n", "K_A", 6, "abcde"},
        Lookup{"OneByteBufferGetsEmptyText", "K_A=abc\n", "K_A", 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MsgFile, ReadMsgIgnoresContentPast1023Bytes) {
    // "K_EDGE=abcdef" straddles the limit so that "K_EDGE=abc" is its last content.
    const std::string head = "[s]\nF=";
    const std::string edge = "\nK_EDGE=abc";
    const std::string filler(MSG_BUF_SIZE - 1 - head.size() - edge.size(), 'x');
    const std::string inside = head + filler + edge;
    ASSERT_EQ(inside.size(), static_cast<size_t>(MSG_BUF_SIZE - 1));
    write_file(MSG_FILE, inside + "def\nK_BEYOND=1\n");

    struct Case {
        const char* key;
        const char* expected;
    };
    for (const Case& c : {Case{"K_EDGE", "abc"}, Case{"K_BEYOND", "<untouched>"}}) {
        SCOPED_TRACE(c.key);
        const Answer got = read_msg(c.key, 64);
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.text, c.expected);
    }
}

TEST_F(MsgFile, ReadMsgReadsOnlyTheFixedMessageFile) {
    TempDir dir;
    const std::string other = dir.file("other.ini");
    write_file(other, "K_A=from the named file\n");

    testing::internal::CaptureStdout();
    const Answer absent = read_msg("K_A", 64, other.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("open the file :") + MSG_FILE + " failed!\n");
    EXPECT_EQ(absent.result, -1);
    EXPECT_EQ(absent.text, "<untouched>");

    // A FIFO at the name, which nobody ever writes: as absent, not a hang.
    ASSERT_EQ(mkfifo(MSG_FILE, 0666), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_msg("K_A", 64, other.c_str()).result, -1);
    testing::internal::GetCapturedStdout();
    unlink(MSG_FILE);

    write_file(MSG_FILE, "K_A=from the message file\n");
    testing::internal::CaptureStdout();
    const Answer present = read_msg("K_A", 64, other.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(present.result, 0);
    EXPECT_EQ(present.text, "from the message file");
}

// The keys the suite reads, with the section each caller names.
struct CatalogueKey {
    const char* section;
    const char* key;
};
const CatalogueKey kCatalogue[] = {
    {SEC_ORIENT_WINDOW, MSG_O_TITLE},  {SEC_ORIENT_WINDOW, MSG_O_CHIS},
    {SEC_ORIENT_WINDOW, MSG_O_FOUR},   {SEC_ORIENT_WINDOW, MSG_O_NIGHT},
    {SEC_ORIENT_WINDOW, MSG_O_TWOTY},  {SEC_ORIENT_WINDOW, MSG_O_ORIMSG}, {SEC_ORIENT_WINDOW, MSG_O_AGAIN},
    {SEC_ORIENT_WINDOW, MSG_A_MESG1},  {SEC_ORIENT_WINDOW, MSG_A_MESG2},
    {SEC_ORIENT_WINDOW, MSG_A_CPM},    {SEC_ORIENT_WINDOW, MSG_A_ADD},
    {SEC_ORIENT_WINDOW, MSG_A_TEL},    {SEC_ORIENT_WINDOW, MSG_A_FAX},
    {SEC_ORIENT_WINDOW, MSG_A_WEB},    {SEC_EDGETAB_MSG, MSG_S_START},
    {SEC_EDGETAB_MSG, MSG_S_NOT_OPEN}, {SEC_EDGETAB_MSG, MSG_S_FILE},
    {SEC_EDGETAB_MSG, MSG_S_HASN_HOT}, {SEC_EDGETAB_MSG, MSG_S_SETING},
    {SEC_QUILLD_MSG, MSG_B_WA},        {SEC_QUILLD_MSG, MSG_B_AL_STAR},
};

struct OwnLine {
    std::string section;  // of the header above the line
    std::string text;     // after "key="
    bool found = false;
};

OwnLine own_line(const std::string& file, const std::string& key) {
    OwnLine line;
    std::string section;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos) end = file.size();
        const std::string text = file.substr(start, end - start);
        if (text.size() > 1 && text.front() == '[' && text.back() == ']') {
            section = text.substr(1, text.size() - 2);
        } else if (text.compare(0, key.size() + 1, key + "=") == 0) {
            return {section, text.substr(key.size() + 1), true};
        }
        start = end + 1;
    }
    return line;
}

size_t occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

TEST_F(MsgFile, ShippedMsgFileAnswersEveryKeyFromItsOwnLine) {
    const std::string shipped = read_file(MSG_SOURCE_FILE);
    ASSERT_FALSE(shipped.empty()) << MSG_SOURCE_FILE;
    EXPECT_LE(shipped.size(), static_cast<size_t>(MSG_BUF_SIZE - 1));
    EXPECT_EQ(shipped.find('\r'), std::string::npos) << "a '\\r' would end up in the texts";
    write_file(MSG_FILE, shipped);

    for (const CatalogueKey& c : kCatalogue) {
        SCOPED_TRACE(c.key);
        const OwnLine line = own_line(shipped, c.key);
        ASSERT_TRUE(line.found) << "no line " << c.key << "=";
        EXPECT_EQ(line.section, c.section);
        EXPECT_EQ(occurrences(shipped, c.key), 1u) << "the lookup would stop at another place";
        EXPECT_FALSE(line.text.empty());
        EXPECT_LT(line.text.size(), static_cast<size_t>(WARNING_TEXT_SIZE))
            << "cut in a 100-byte text buffer";
        const Answer got = read_msg(c.key, MSG_BUF_SIZE);
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.text, line.text);
    }
}

}  // namespace
