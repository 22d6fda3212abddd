// A small whiteboard to show the board service at work when no whiteboard
// application is installed: a full-screen canvas the pointer draws on with
// the left button, and the command words the service sends on UDP
// 127.0.0.1:10000 act on it (pen colours, eraser, pages, save).
//
//   whiteboard-demo [--save-dir DIR]
//
// Pages are saved into DIR, by default the "Pictures" folder of the user's
// home (from the password database) when it is a folder of the user's own,
// else the home itself. Each file is created anew, never through an existing
// name or link: a taken name makes the demo pick the next one.
// At most 20 pages are kept; "anew" on the 20th is refused and the current
// page stays.
//
// Every datagram and its effect are traced on standard output, one line each:
//   received "rpen"      then   pen red | eraser | page 2 of 2 | saved PATH | shown
//   | page limit 20 reached, page 7 of 20 | save failed: REASON
// The last word received is shown in the top right corner beside a swatch of
// the current pen colour. Escape, SIGINT or SIGTERM end it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gdk/gdkkeysyms.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 10000;
constexpr double kPenWidth = 5.0;
constexpr double kEraserWidth = 40.0;
// A full-HD page takes 8 MB and a 4K one 33 MB: 20 of them stay well within
// a desktop's memory.
constexpr size_t kMaxPages = 20;
// Names tried per save before giving up: each taken one costs a single open.
constexpr int kNameTries = 1000;

struct Rgb {
    double r, g, b;
};
constexpr Rgb kWhite{1, 1, 1};

struct Pen {
    const char* word;
    const char* name;
    Rgb colour;
};
// Pure, well separated colours, so that a picture of a stroke tells them apart.
constexpr Pen kPens[] = {
    {"bpen", "black", {0, 0, 0}},
    {"rpen", "red", {0.878, 0, 0}},
    {"lpen", "blue", {0, 0, 0.878}},
    {"gpen", "green", {0, 0.627, 0}},
};
// Words with no effect on the canvas: they are only shown.
constexpr const char* kShownWords[] = {"mous", "cust", "cusp", "elfc", "elbc", "elfd",
                                       "elbd", "bped", "rped", "lped", "gped"};

struct Board {
    GtkWidget* canvas = nullptr;
    int width = 0, height = 0;
    std::vector<cairo_surface_t*> pages;
    size_t page = 0;
    Rgb colour = kPens[0].colour;
    bool eraser = false;
    bool drawing = false;
    double last_x = 0, last_y = 0;
    std::string last_word = "(none)";
    std::string save_dir;
    int saved = 0;
};

Board board;

cairo_surface_t* blank_page() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, board.width, board.height);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, kWhite.r, kWhite.g, kWhite.b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

void draw_segment(double x0, double y0, double x1, double y1) {
    cairo_t* cr = cairo_create(board.pages[board.page]);
    const Rgb c = board.eraser ? kWhite : board.colour;
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, board.eraser ? kEraserWidth : kPenWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
    cairo_destroy(cr);
    gtk_widget_queue_draw(board.canvas);
}

cairo_status_t write_all(void* closure, const unsigned char* data, unsigned int length) {
    const int fd = *static_cast<int*>(closure);
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return CAIRO_STATUS_WRITE_ERROR;
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

// The names are easy to guess, so anyone who may write in the folder can put
// a link or a file there first: the file is only ever created, never opened
// as it is, and a taken name moves on to the next.
std::string save_page() {
    if (board.save_dir.empty()) return "save failed: no folder to save in";
    char stamp[32];
    const time_t now = time(nullptr);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", localtime(&now));
    const std::string stem =
        board.save_dir + "/whiteboard-" + stamp + "-" + std::to_string(getpid()) + "-";
    std::string path;
    int fd = -1;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        path = stem + std::to_string(++board.saved) + ".png";
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return std::string("save failed: ") + std::strerror(errno);
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(board.pages[board.page], write_all, &fd);
    std::string failure;
    if (status != CAIRO_STATUS_SUCCESS) failure = cairo_status_to_string(status);
    if (close(fd) != 0 && failure.empty()) failure = std::strerror(errno);
    if (!failure.empty()) {
        unlink(path.c_str());  // our own, half written
        return "save failed: " + failure;
    }
    return "saved " + path;
}

std::string page_line() {
    return "page " + std::to_string(board.page + 1) + " of " + std::to_string(board.pages.size());
}

// What a word does to the board, as the trace line that reports it.
std::string act(const std::string& word) {
    for (const Pen& pen : kPens)
        if (word == pen.word) {
            board.colour = pen.colour;
            board.eraser = false;
            return std::string("pen ") + pen.name;
        }
    if (word == "eare") {
        board.eraser = true;
        return "eraser";
    }
    if (word == "anew") {
        if (board.pages.size() >= kMaxPages)
            return "page limit " + std::to_string(kMaxPages) + " reached, " + page_line();
        board.pages.push_back(blank_page());
        board.page = board.pages.size() - 1;
        return page_line();
    }
    if (word == "prev") {
        if (board.page > 0) --board.page;
        return page_line();
    }
    if (word == "next") {
        if (board.page + 1 < board.pages.size()) ++board.page;
        return page_line();
    }
    if (word == "save") return save_page();
    for (const char* shown : kShownWords)
        if (word == shown) return "shown";
    return "unknown word, shown";
}

gboolean on_datagram(GIOChannel* channel, GIOCondition, gpointer) {
    char buf[64];
    const ssize_t n = recv(g_io_channel_unix_get_fd(channel), buf, sizeof buf - 1, 0);
    if (n <= 0) return TRUE;
    std::string word(buf, static_cast<size_t>(n));
    while (!word.empty() && (word.back() == '\n' || word.back() == '\0')) word.pop_back();
    std::printf("received \"%s\"\n", word.c_str());
    std::printf("%s\n", act(word).c_str());
    board.last_word = word;
    gtk_widget_queue_draw(board.canvas);
    return TRUE;
}

int open_command_port() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void draw_status(cairo_t* cr) {
    const std::string text = "last command: " + board.last_word + "   " + page_line();
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 18);
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text.c_str(), &ext);
    const double swatch = 24, pad = 10;
    const double w = ext.x_advance + swatch + 3 * pad, h = swatch + 2 * pad;
    const double x = board.width - w - 8, y = 8;
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    const Rgb c = board.eraser ? kWhite : board.colour;
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_rectangle(cr, x + pad, y + pad, swatch, swatch);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, x + 2 * pad + swatch, y + pad + swatch / 2 - ext.y_bearing / 2 - ext.height / 2);
    cairo_show_text(cr, text.c_str());
}

gboolean on_expose(GtkWidget* widget, GdkEventExpose* event, gpointer) {
    cairo_t* cr = gdk_cairo_create(widget->window);
    gdk_cairo_region(cr, event->region);
    cairo_clip(cr);
    cairo_set_source_surface(cr, board.pages[board.page], 0, 0);
    cairo_paint(cr);
    draw_status(cr);
    cairo_destroy(cr);
    return TRUE;
}

gboolean on_press(GtkWidget*, GdkEventButton* event, gpointer) {
    if (event->button != 1) return FALSE;
    board.drawing = true;
    board.last_x = event->x;
    board.last_y = event->y;
    draw_segment(event->x, event->y, event->x, event->y);
    return TRUE;
}

gboolean on_motion(GtkWidget*, GdkEventMotion* event, gpointer) {
    if (!board.drawing) return FALSE;
    draw_segment(board.last_x, board.last_y, event->x, event->y);
    board.last_x = event->x;
    board.last_y = event->y;
    return TRUE;
}

gboolean on_release(GtkWidget*, GdkEventButton* event, gpointer) {
    if (event->button != 1) return FALSE;
    board.drawing = false;
    return TRUE;
}

gboolean on_key(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event->keyval == GDK_Escape) gtk_main_quit();
    return FALSE;
}

gboolean on_quit_signal(gpointer) {
    gtk_main_quit();
    return FALSE;
}

// The home from the password database, not $HOME: the environment may come
// from someone else (sudo, a launcher). "" when there is none.
std::string default_save_dir() {
    const passwd* pw = getpwuid(getuid());
    if (pw == nullptr || pw->pw_dir == nullptr || pw->pw_dir[0] == '\0') return "";
    const std::string home = pw->pw_dir;
    const std::string pictures = home + "/Pictures";
    struct stat st {};
    // lstat: a link named Pictures could lead anywhere.
    if (lstat(pictures.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
        return pictures;
    return home;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    gtk_init(&argc, &argv);
    board.save_dir = default_save_dir();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save-dir") == 0 && i + 1 < argc) {
            board.save_dir = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--save-dir DIR]\n", argv[0]);
            return 2;
        }
    }

    const int fd = open_command_port();
    if (fd < 0) {
        std::fprintf(stderr, "whiteboard-demo: cannot listen on 127.0.0.1:%d: %s\n", kPort,
                     std::strerror(errno));
        return 1;
    }
    GIOChannel* channel = g_io_channel_unix_new(fd);
    g_io_add_watch(channel, G_IO_IN, on_datagram, nullptr);

    GdkScreen* screen = gdk_screen_get_default();
    board.width = gdk_screen_get_width(screen);
    board.height = gdk_screen_get_height(screen);
    board.pages.push_back(blank_page());

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Whiteboard demo");
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(window), board.width, board.height);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_window_fullscreen(GTK_WINDOW(window));

    board.canvas = gtk_drawing_area_new();
    gtk_widget_set_app_paintable(board.canvas, TRUE);
    gtk_widget_set_double_buffered(board.canvas, TRUE);
    gtk_widget_add_events(board.canvas, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                            GDK_BUTTON1_MOTION_MASK);
    gtk_container_add(GTK_CONTAINER(window), board.canvas);
    g_signal_connect(board.canvas, "expose-event", G_CALLBACK(on_expose), nullptr);
    g_signal_connect(board.canvas, "button-press-event", G_CALLBACK(on_press), nullptr);
    g_signal_connect(board.canvas, "motion-notify-event", G_CALLBACK(on_motion), nullptr);
    g_signal_connect(board.canvas, "button-release-event", G_CALLBACK(on_release), nullptr);
    g_signal_connect(window, "key-press-event", G_CALLBACK(on_key), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_unix_signal_add(SIGINT, on_quit_signal, nullptr);
    g_unix_signal_add(SIGTERM, on_quit_signal, nullptr);

    gtk_widget_show_all(window);
    std::printf("listening on 127.0.0.1:%d, saving to %s\n", kPort,
                board.save_dir.empty() ? "(nowhere)" : board.save_dir.c_str());
    gtk_main();

    for (cairo_surface_t* page : board.pages) cairo_surface_destroy(page);
    g_io_channel_unref(channel);
    close(fd);
    return 0;
}
