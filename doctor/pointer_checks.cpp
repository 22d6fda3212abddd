#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "checks.h"
#include "facts.h"
#include "host.h"

namespace {

bool kernel_pointer_listed() {
    DIR* dir = opendir("/sys/class/input");
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* e = readdir(dir)) {
        const std::string name = read_text(std::string("/sys/class/input/") + e->d_name + "/name");
        if (name == KERNEL_POINTER_NAME "\n") found = true;
    }
    closedir(dir);
    return found;
}

}  // namespace

Finding judge_pointer(const PointerFacts& f, const std::string& user) {
    const std::string device = "its kernel device \"" KERNEL_POINTER_NAME "\" (" UINPUT_DEVICE ")";
    const std::string restart = kRestartService + ".";
    if (f.service && f.device)
        return {Verdict::ok, "pointer", "the service drives the pointer through " + device + ".",
                ""};
    const bool usable = f.uinput && f.writable;
    std::string found = !f.uinput  ? UINPUT_DEVICE " is missing (the uinput module is not loaded)"
                        : !usable  ? UINPUT_DEVICE " is not writable by user " + quoted(user)
                        : UINPUT_DEVICE " is writable";
    if (usable && !f.service)
        return {Verdict::ok, "pointer",
                found + ": the service drives the pointer through " + device + " once it runs.",
                ""};
    found += usable ? ", but the service started before it was and drives the pointer through XTest"
                    : ": the service drives the pointer through XTest";
    if (!f.wayland) return {Verdict::ok, "pointer", found + ", which reaches every X11 program.", ""};
    const std::string fix = usable    ? restart
                            : !f.uinput ? "sudo modprobe uinput, then " + restart
                                        : "install the udev rule " UINPUT_RULE_FILE
                                          " (the whiteboard-drivers package brings it), log out "
                                          "and in, then " + restart;
    return {Verdict::warning, "pointer",
            found + ", which on this Wayland desktop reaches X11 programs only.", fix};
}

void check_pointer(Report& report, const Chain& chain) {
    PointerFacts f;
    struct stat st;
    f.uinput = stat(UINPUT_DEVICE, &st) == 0 && S_ISCHR(st.st_mode);
    f.writable = f.uinput && access(UINPUT_DEVICE, W_OK) == 0;
    bool registered = false;
    f.service = running_reader(KEY_QUILLD, &registered) > 0;
    f.device = kernel_pointer_listed();
    f.wayland = chain.wayland;
    report.add(judge_pointer(f, user_name()));
}
