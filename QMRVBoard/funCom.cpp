#include "funCom.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/board_packet.h"
#include "protocol/serial.h"
#include "service.h"
#include "store/fileio.h"
#include "store/paths.h"
#include "store/registry.h"

namespace {

// Last command word sent and when; they outlive reader runs.
char Front_Str[10] = "";
struct timeval Front_Time = {0, 0};

class ServiceEffects : public LoopEffects {
public:
    void mouse(mouse_act screen) override { service_mouse(screen); }
    void command(const char* word) override { StartEdgetab(word); }
    void start(Launcher which) override { start_launcher(which); }
    int registered_zuraze() override { return registry_read(KEY_ZURAZE); }
    void stop_zuraze(int pid) override { registry_signal_pid(pid, KEY_ZURAZE, SIGINT); }
    void identified() override {
        kill(getpid(), SIGUSR2);
        usleep(300000);
    }
};

void send_word(const char* word) {
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) perror("client_socket");
    struct sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(WHITEBOARD_PORT);
    inet_pton(AF_INET, WHITEBOARD_HOST, &to.sin_addr);
    const ssize_t ret =
        sendto(sock, word, strlen(word), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    printf("...............ret :%d\n", static_cast<int>(ret));
    if (sock >= 0) close(sock);
}

}  // namespace

void StartEdgetab(const char* p) {
    char word[10];
    snprintf(word, sizeof word, "%s", p);

    struct timeval now;
    gettimeofday(&now, nullptr);
    const long long elapsed_us =
        (static_cast<long long>(now.tv_sec) - Front_Time.tv_sec) * 1000000LL +
        (now.tv_usec - Front_Time.tv_usec);
    const float elapsed = static_cast<float>(elapsed_us) / 1000000;
    printf("time usse :%f,now str:%s,front str:%s\n", elapsed, word, Front_Str);

    if (is_double_press(word, Front_Str, elapsed)) {
        if (double_press_starts_app(word)) start_launcher(Launcher::whiteboard);
        // Words without a double form come back as word itself, and a copy
        // onto itself leaves glibc's snprintf with an empty string.
        const char* twice = double_press_word(word);
        if (twice != word) snprintf(word, sizeof word, "%s", twice);
        printf("===============str:%s\n", word);
    }
    send_word(word);
    gettimeofday(&Front_Time, nullptr);
    snprintf(Front_Str, sizeof Front_Str, "%s", word);
}

void start_launcher(Launcher which) {
    const char* path = ORIENT_LAUNCHER;
    const char* argv0 = ZURAZE_NAME;
    if (which == Launcher::whiteboard) {
        path = WHITEBOARD_LAUNCHER;
        argv0 = "run";
    } else if (which == Launcher::calibration_tool) {
        path = ZURAZE_PROGRAM;
    }
    const pid_t child = fork();
    if (child < 0) exit(1);
    if (child > 0) return;
    // The launcher starts with the signals a fresh program expects.
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    signal(SIGCHLD, SIG_DFL);
    execl(path, argv0, static_cast<char*>(nullptr));
    _exit(1);
}

int Connect_EQ(int fd, int /*v_flags*/) {
    ServiceEffects fx;
    PacketLoop loop(quilld.valu_flags, quilld.iRealEdgetab, g_profile.compact_loop);
    Tables tables{};
    unsigned generation = ~0u;
    quilld.bRun = 1;
    quilld.iRealEdgetab = 0;
    read_packets(fd, quilld.bRun, 0, [&](const uint8_t* pkt) {
        quilld.tables.refresh(tables, generation);
        loop.handle(pkt, tables, fx);
    });
    return 1;
}
