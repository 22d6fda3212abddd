#include "facts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "clock.h"
#include "store/fileio.h"

std::string read_text(const std::string& path, size_t max_bytes, double max_seconds) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return "";
    struct stat st;
    std::string text;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return text;
    }
    const double deadline = monotonic_seconds() + max_seconds;
    char buf[16384];
    ssize_t n;
    while (text.size() < max_bytes && monotonic_seconds() < deadline &&
           (n = read_retry(fd, buf, sizeof buf)) > 0)
        text.append(buf, size_t(n));
    close(fd);
    if (text.size() > max_bytes) text.resize(max_bytes);
    return text;
}

namespace {

std::string first_line(const std::string& path) {
    std::string text = read_text(path, 256);
    const size_t end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    return text;
}

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

std::string parent_of(const std::string& dir) {
    const size_t slash = dir.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "" : dir.substr(0, slash);
}

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Lines of a table or entry, without their line ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

bool find_usb_adapter(const std::string& sys_root, unsigned major, unsigned minor,
                      UsbAdapter* out) {
    const std::string node =
        sys_root + "/dev/char/" + std::to_string(major) + ":" + std::to_string(minor);
    const std::string root = real_path(sys_root);
    std::string dir = real_path(node);
    if (root.empty() || dir.empty()) return false;
    for (; dir.size() > root.size() && dir.compare(0, root.size(), root) == 0;
         dir = parent_of(dir)) {
        const std::string vendor = first_line(dir + "/idVendor");
        const std::string product = first_line(dir + "/idProduct");
        if (vendor.empty() || product.empty()) continue;
        *out =
            UsbAdapter{vendor, product, first_line(dir + "/manufacturer"),
                       first_line(dir + "/product"), base_name(real_path(node + "/device/driver"))};
        return true;
    }
    return false;
}

std::string adapter_label(const UsbAdapter& a) {
    std::string label = a.vendor_id + ":" + a.product_id;
    for (const std::string* part : {&a.manufacturer, &a.product})
        if (!part->empty()) label += " " + *part;
    if (!a.driver.empty()) label += " (driver " + a.driver + ")";
    return label;
}

std::string udev_property(const std::string& entry, const std::string& name) {
    const std::string prefix = "E:" + name + "=";
    for (const std::string& line : lines_of(entry))
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    return "";
}

bool udp_table_receives_loopback(const std::string& table, int port) {
    // "  12: 0100007F:2710 00000000:0000 07 ...": the local address in hex,
    // IPv4 as the kernel's 32-bit word, IPv6 as four of them.
    static const char* const kReceivers[] = {"0100007F", "00000000",
                                             "00000000000000000000000000000000",
                                             "0000000000000000FFFF00000100007F"};
    char port_hex[8];
    snprintf(port_hex, sizeof port_hex, "%04X", unsigned(port) & 0xFFFF);
    for (const std::string& line : lines_of(table)) {
        std::istringstream fields(line);
        std::string slot, local;
        if (!(fields >> slot >> local) || slot.empty() || slot.back() != ':') continue;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || local.substr(colon + 1) != port_hex) continue;
        for (const char* address : kReceivers)
            if (local.compare(0, colon, address) == 0 && colon == strlen(address)) return true;
    }
    return false;
}

std::vector<int> processes_named(const std::string& name) {
    std::vector<int> pids;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) return pids;
    while (const dirent* e = readdir(dir)) {
        if (!isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
        if (process_name(atoi(e->d_name)) == name) pids.push_back(atoi(e->d_name));
    }
    closedir(dir);
    return pids;
}

std::string process_executable(int pid) {
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return "";
    std::string path(target, size_t(n));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

bool process_owner(int pid, uid_t* uid) {
    struct stat st;
    if (pid <= 0 || stat(("/proc/" + std::to_string(pid)).c_str(), &st) != 0) return false;
    *uid = st.st_uid;
    return true;
}

bool desktop_entry_disabled(const std::string& entry) {
    for (const std::string& line : lines_of(entry))
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return true;
    return false;
}
