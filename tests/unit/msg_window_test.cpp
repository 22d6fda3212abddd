// Create_Msg_Window on a private Xvfb: the box is inspected and answered from
// inside its own modal loop.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tool/msg_file.h"
#include "test_support.h"

namespace {

// Starts Xvfb on a free display and points DISPLAY at it; "" or the reason it failed.
std::string start_xvfb(pid_t* pid) {
    int ready[2];
    if (pipe(ready) != 0) return "pipe failed";
    *pid = fork();
    if (*pid == 0) {
        close(ready[0]);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    char c;
    // Generous: the first start under emulation, on a busy machine, takes over 15 s.
    while (poll(&p, 1, 60000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) return "Xvfb (Debian package xvfb) did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return "";
}

class MsgWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!in_sandbox()) {
            problem_ = "needs the sandbox: run it through ctest";
            return;
        }
        problem_ = start_xvfb(&xvfb_);
        if (problem_.empty() && !gtk_init_check(nullptr, nullptr)) problem_ = "gtk_init failed";
    }
    static void TearDownTestSuite() {
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
    }
    void SetUp() override { ASSERT_EQ(problem_, ""); }

    static std::string problem_;
    static pid_t xvfb_;
};
std::string MsgWindow::problem_;
pid_t MsgWindow::xvfb_ = -1;

// What the answering callback saw of the box before it clicked the button.
struct Seen {
    int polls = 0;
    bool shown = false;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    std::string text;
    bool modal = false;
    bool destroy_with_parent = false;
    bool has_parent = true;
    int buttons = 0;
    std::string button_label;
    int response = GTK_RESPONSE_NONE;
};

GtkWidget* shown_message_box() {
    GtkWidget* box = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next)
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            box = GTK_WIDGET(w->data);
    g_list_free(windows);
    return box;
}

int message_boxes() {
    int n = 0;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) n += GTK_IS_MESSAGE_DIALOG(w->data) ? 1 : 0;
    g_list_free(windows);
    return n;
}

gboolean answer_box(gpointer data) {
    auto* seen = static_cast<Seen*>(data);
    GtkWidget* box = shown_message_box();
    if (!box) {
        if (++seen->polls < 1000) return TRUE;
        // Never shown: end the modal loop anyway so the test fails instead of hanging.
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w; w = w->next)
            if (GTK_IS_MESSAGE_DIALOG(w->data)) gtk_widget_destroy(GTK_WIDGET(w->data));
        g_list_free(windows);
        return FALSE;
    }
    seen->shown = true;
    gchar* text = nullptr;
    g_object_get(box, "message-type", &seen->type, "text", &text, nullptr);
    seen->text = text ? text : "";
    g_free(text);
    seen->modal = gtk_window_get_modal(GTK_WINDOW(box));
    seen->destroy_with_parent = gtk_window_get_destroy_with_parent(GTK_WINDOW(box));
    seen->has_parent = gtk_window_get_transient_for(GTK_WINDOW(box)) != nullptr;

    GList* buttons = gtk_container_get_children(
        GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(box))));
    seen->buttons = static_cast<int>(g_list_length(buttons));
    if (buttons) {
        GtkWidget* button = GTK_WIDGET(buttons->data);
        const gchar* label = gtk_button_get_label(GTK_BUTTON(button));
        seen->button_label = label ? label : "";
        seen->response = gtk_dialog_get_response_for_widget(GTK_DIALOG(box), button);
        gtk_button_clicked(GTK_BUTTON(button));
    }
    g_list_free(buttons);
    return FALSE;
}

TEST_F(MsgWindow, ShowsTextInModalBoxOfItsTypeUntilOk) {
    struct Case {
        int type;
        GtkMessageType expected;
    };
    const Case cases[] = {
        {1, GTK_MESSAGE_INFO},     {2, GTK_MESSAGE_ERROR}, {3, GTK_MESSAGE_QUESTION},
        {4, GTK_MESSAGE_WARNING},  {7, GTK_MESSAGE_INFO},  {0, GTK_MESSAGE_INFO},
        {-1, GTK_MESSAGE_INFO},
    };
    const char* text = "50% done\n%s stays as written";
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        Seen seen;
        g_timeout_add(10, answer_box, &seen);
        testing::internal::CaptureStdout();
        const int result = Create_Msg_Window(c.type, text);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "----------------------\n");
        EXPECT_EQ(result, 0);
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.type, c.expected);
        EXPECT_EQ(seen.text, text);
        EXPECT_TRUE(seen.modal);
        EXPECT_TRUE(seen.destroy_with_parent);
        EXPECT_FALSE(seen.has_parent);
        EXPECT_EQ(seen.buttons, 1);
        EXPECT_EQ(seen.button_label, GTK_STOCK_OK);
        EXPECT_EQ(seen.response, GTK_RESPONSE_OK);
        EXPECT_EQ(message_boxes(), 0) << "the box must be destroyed when it returns";
    }
}

// Joined texts cut where the buffer ends: never inside a character, never
// past the buffer.
TEST(FormatUtf8, CutsJoinedTextsOnWholeCharacters) {
    const std::string euro = "\xe2\x82\xac";      // 3 bytes
    const std::string clef = "\xf0\x9d\x84\x9e";  // 4 bytes
    const std::string euros = euro + euro + euro;
    struct Case {
        const char* name;
        int size;
        std::string first, second, expected;
    };
    const Case cases[] = {
        {"Fits", 64, "ab", "cd", "ab,\ncd\n"},
        {"PercentStaysText", 64, "50%", "%s", "50%,\n%s\n"},
        {"AsciiCutAtBuffer", 5, "ab", "cd", "ab,\n"},
        {"ThreeByteCutAfterOne", 9, "ab", euros, "ab,\n" + euro},
        {"ThreeByteCutAfterTwo", 10, "ab", euros, "ab,\n" + euro},
        {"ThreeByteEndsAtBuffer", 11, "ab", euros, "ab,\n" + euro + euro},
        {"FourByteCutAfterOne", 13, euros, clef + clef, euros + ",\n"},
        {"FourByteCutAfterThree", 15, euros, clef + clef, euros + ",\n"},
        {"FourByteEndsAtBuffer", 16, euros, clef + clef, euros + ",\n" + clef},
        {"FirstTextCut", 5, euros, "cd", euro},
        {"OneByteBuffer", 1, "ab", "cd", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf(c.size + 16, '#');
        const int kept =
            format_utf8(&buf[0], c.size, "%s,\n%s\n", c.first.c_str(), c.second.c_str());
        EXPECT_EQ(buf.substr(c.size), std::string(16, '#')) << "wrote past the buffer";
        EXPECT_EQ(std::string(buf.c_str()), c.expected);
        EXPECT_EQ(kept, static_cast<int>(c.expected.size()));
    }
}

}  // namespace
