// The board service: start-up, the single-instance lock, the registry, signal
// handling, the clean-up, and the supervisor that keeps one reader run going.
#include "ReadInfo.h"

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "funCom.h"
#include "func_Display.h"
#include "kernel_pointer.h"
#include "protocol/serial.h"
#include "screen_watch.h"
#include "service.h"
#include "store/config.h"
#include "store/fileio.h"
#include "store/inifile.h"
#include "store/paths.h"
#include "store/registry.h"
#include "x/x_screen.h"

#ifdef QUILLD_COMPACT
const ServiceProfile& g_profile = COMPACT_PROFILE;
#else
const ServiceProfile& g_profile = FULL_PROFILE;
#endif

Quilld quilld;

namespace {

int c_f = 0;  // the lock file
const char* env_display = nullptr;
int Screen_w = 0, Screen_h = 0;
int Dot_Num = 0;
int Orient_Pid = 0, Edgetab_Pid = 0;
sem_t bin_sem;
std::atomic<bool> stopping{false};  // a SIGINT or SIGTERM is being handled

// The signals other programs steer the service with; they are blocked in
// every thread and taken by the signal thread alone.
sigset_t steering_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Runs use(sink) under x_mutex on the pointer's sink: the kernel device
// when the service made one, else XTest while the display is open.
template <class Use>
void with_pointer(Use&& use) {
    std::lock_guard<std::recursive_mutex> lock(quilld.x_mutex);
    if (quilld.kernel_pointer >= 0) {
        const Rect screen = current_screen();
        KernelPointerSink sink(quilld.kernel_pointer, screen.width, screen.height);
        use(sink);
    } else if (quilld.Mdisplay != nullptr) {
        XTestSink sink(quilld.Mdisplay);
        use(sink);
    }
}

// Never leave the left button down behind a reader run or a stopped
// service: a run that ends mid-stroke (board unplugged, SIGUSR1, a failed
// read) never sees the lift, and the next run ignores a lift whose contact it
// did not see.
void release_held_button() {
    with_pointer([](PointerSink& sink) {
        if (quilld.mouse.MiceLD != 1) return;
        sink.button(1, false);
        quilld.mouse.MiceLD = 0;
        quilld.mouse.MiceDotCount = 0;
    });
}

// Releases what the service holds; safe to run more than once.
void release_all() {
    release_held_button();
    stop_screen_watch();
    {
        std::lock_guard<std::recursive_mutex> lock(quilld.x_mutex);
        destroy_kernel_pointer(quilld.kernel_pointer);
        quilld.kernel_pointer = -1;
        if (quilld.Mdisplay) {
            XCloseDisplay(quilld.Mdisplay);
            quilld.Mdisplay = nullptr;
        }
    }
    if (c_f > 0) {
        flock(c_f, LOCK_UN | LOCK_NB);
        close(c_f);
        c_f = -1;
    }
    quilld.bRun = 0;
    close_port_once(quilld.EQ_fd, false);
    if (g_profile.clear_registry_at_exit) registry_clear(KEY_QUILLD);
}

void before_exit() { release_all(); }

void catch_int(int) {
    stopping = true;
    fputs(g_profile.int_text, stdout);
    release_all();
    // Everything is released. exit() from this thread would run the
    // libraries' destructors and flush stdio under the other threads' feet.
    fflush(stdout);
    _exit(0);
}

// The X server went away under a request (which holds quilld.x_mutex): drop the
// dead connection so that the exit clean-up does the rest without X.
int x_server_lost(Display*) {
    quilld.Mdisplay = nullptr;
    exit(stopping ? 0 : 1);
}

void signal_usr1(int) {
    quilld.bRun = 0;
    if (g_profile.usr1_marks_edgetab) quilld.iRealEdgetab = 1;
    puts(g_profile.usr1_text);
}

void signal_usr2(int) {
    puts("signal_usr2 called");
    Read_Data();
}

void* signal_thread(void*) {
    const sigset_t set = steering_signals();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        switch (sig) {
            case SIGUSR1:
                signal_usr1(sig);
                break;
            case SIGUSR2:
                signal_usr2(sig);
                break;
            default:
                catch_int(sig);
                break;
        }
    }
    return nullptr;
}

void* thread_funCom(void*) {
    quilld.EQ_fd = Open_EQ(true);
    // A board plugged in may come with a screen changed meanwhile.
    look_at_screen_again();
    Init_EQ(quilld.EQ_fd);
    // The board line stays as last identified: a run that ends before its
    // identification must not turn a touch board into an electromagnetic one.
    Connect_EQ(quilld.EQ_fd, -1);
    release_held_button();
    close_port_once(quilld.EQ_fd, true);
    sem_post(&bin_sem);
    return nullptr;
}

void take_lock() {
    c_f = take_instance_lock(QUILLD_LOCK, true);
    if (c_f == LOCK_FILE_UNUSABLE) exit(1);
    if (c_f == LOCK_HELD) {
        fflush(stdout);
        if (g_profile.warn_duplicate) {
            signal(SIGCHLD, SIG_DFL);
            execl(DUPWARN_PROGRAM, DUPWARN_NAME, static_cast<char*>(nullptr));
        }
        exit(1);
    }
}

// Until the signal thread runs, the steering signals stay pending.
void block_steering_signals() {
    const sigset_t set = steering_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void start_signal_thread() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, signal_thread, nullptr) != 0) {
        puts("pthread_create failed");
        exit(1);
    }
    pthread_detach(thread);
}

void register_and_stop_tools() {
    char pid[16];
    snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
    printf(g_profile.pid_format, pid);
    registry_write_self(KEY_QUILLD);

    Orient_Pid = registry_read(KEY_ZURAZE);
    Edgetab_Pid = registry_read(KEY_EDGETAB);
    if (Orient_Pid > 0) printf("reO=%d\n", registry_signal_pid(Orient_Pid, KEY_ZURAZE, SIGTERM));
    if (Edgetab_Pid > 0) printf("reS=%d\n", registry_signal_pid(Edgetab_Pid, KEY_EDGETAB, SIGTERM));
}

void open_display() {
    env_display = getenv("DISPLAY");
    if (env_display == nullptr) {
        puts("env_display == NULL exit 1");
        fputs("Slatrix Server must run under X window", stderr);
        exit(1);
    }
    // The screen watch has a connection of its own on its own thread.
    XInitThreads();
    Display* display = XOpenDisplay(env_display);
    if (display == nullptr) {
        flock(c_f, LOCK_UN | LOCK_NB);
        exit(0);
    }
    XSetIOErrorHandler(x_server_lost);
    std::lock_guard<std::recursive_mutex> lock(quilld.x_mutex);
    quilld.Mdisplay = display;
}

[[noreturn]] void supervise() {
    for (;;) {
        pthread_t reader;
        if (pthread_create(&reader, nullptr, thread_funCom, reinterpret_cast<void*>(10)) != 0) {
            puts("pthread_create failed");
            exit(1);
        }
        while (sem_wait(&bin_sem) != 0 && errno == EINTR) {
        }
        pthread_join(reader, nullptr);
        sleep(1);
    }
}

}  // namespace

void service_mouse(mouse_act screen) {
    // Should the monitors change without an event, a stroke starting is a
    // reason to look again. The stroke itself goes on at once, by the last look.
    static int last_act = ACT_LIFT;  // the reader thread's alone
    if (screen.act == ACT_CONTACT && last_act != ACT_CONTACT) look_at_screen_again();
    last_act = screen.act;
    with_pointer([&](PointerSink& sink) { MouseAction(quilld.mouse, sink, screen); });
}

namespace {

// The rectangle the board maps onto: the stored monitor's, or the screen's,
// as the last look at the screen found them. Returns the line to say once
// the tables are published: each time it changes while a monitor is named.
std::string aim(Calibration& cal, const std::string& stored) {
    static std::string said;
    const MappingArea m = current_area(stored);
    cal.Screen_x = m.area.x;
    cal.Screen_y = m.area.y;
    cal.Screen_w = m.area.width;
    cal.Screen_h = m.area.height;
    const std::string line = area_line(stored, m);
    const bool news = !line.empty() && line != said;
    said = line;
    return news ? line : "";
}

}  // namespace

int Read_Data() {
    // Reloads come from start-up, SIGUSR2 (the signal thread) and the screen
    // watch. One at a time, and the monitor line said under the same lock:
    // the tables published last and the line printed last tell of the same
    // look, and a line is said once however the reloads interleave.
    static ConfigSnapshot snap;  // 16 KiB
    static std::mutex reload;
    std::lock_guard<std::mutex> lock(reload);
    load_config(snap);
    Tables t = quilld.tables.current();
    const std::string news = aim(t.cal, config_monitor(snap));
    Dot_Num = load_tables(snap, t, g_profile.tables);
    quilld.tables.publish(t);
    if (!news.empty()) puts(news.c_str());
    return Dot_Num;
}

int main(int, char**) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    set_ini_autocreate(g_profile.create_config);
    quilld.mouse.LimitCountRV = g_profile.LimitCountRV;
    quilld.mouse.board_clicks = g_profile.board_clicks;
    puts("Board Service running");
    signal(SIGCHLD, SIG_IGN);
    take_lock();
    block_steering_signals();
    register_and_stop_tools();
    atexit(before_exit);
    open_display();

    Tables initial{};
    valu_mdisplay(quilld.Mdisplay, &Screen_w, &Screen_h, Dot_Num, initial.cal.position);
    initial.cal.Screen_w = Screen_w;
    initial.cal.Screen_h = Screen_h;
    quilld.tables.publish(initial);
    {
        std::lock_guard<std::recursive_mutex> lock(quilld.x_mutex);
        // Through the kernel the pen reaches every program of a Wayland
        // session too; XTest reaches only the X11 ones there.
        quilld.kernel_pointer = create_kernel_pointer();
        if (quilld.kernel_pointer >= 0)
            printf("pointer: the kernel input device \"%s\" (%s)\n", KERNEL_POINTER_NAME,
                   UINPUT_DEVICE);
        else if (note_xwayland(quilld.Mdisplay))
            puts(KERNEL_POINTER_HINT);
        screen_first_look(quilld.Mdisplay);
    }
    Read_Data();
    // A new screen size or monitor layout reloads as SIGUSR2 does.
    start_screen_watch(env_display, [] { Read_Data(); });

    if (sem_init(&bin_sem, 0, 0) != 0) {
        puts("Semphore initialization failed");
        exit(1);
    }
    // Handled from here on: a stop never meets a half-done start-up.
    start_signal_thread();
    supervise();
}
