// whiteboard-doctor: checks the chain from the board's USB adapter to the
// whiteboard application and says, for each link, what is wrong and how to
// fix it; --watch shows the board's packets live.
#include <cstdio>
#include <cstring>

#include "checks.h"
#include "report.h"
#include "store/inifile.h"
#include "watch.h"

namespace {

const char kUsage[] =
    "Usage: whiteboard-doctor [--watch]\n"
    "Checks the whiteboard's adapter, board, service, display, configuration and\n"
    "whiteboard application; exit status 0 when no check found a problem, else 1.\n"
    "--watch shows the board's packets, decoded, until Ctrl+C.\n";

}  // namespace

int main(int argc, char** argv) {
    // A diagnosis never creates the shared configuration file.
    set_ini_autocreate(false);
    if (argc == 2 && strcmp(argv[1], "--watch") == 0) return watch_board();
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 1) {
        fputs(kUsage, stderr);
        return 2;
    }
    static Chain chain;
    load_config(chain.config);
    Report report(stdout);
    check_port(report, chain);
    check_board(report, chain);
    check_service(report);
    check_display(report, chain);
    check_pointer(report, chain);
    check_configuration(report, chain);
    check_whiteboard_app(report);
    return report.exit_status();
}
