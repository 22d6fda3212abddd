#include "host.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>

const std::string kRecalibrate =
    "calibrate again: " ZURAZE_PROGRAM " (or press the board's calibration key).";
const std::string kStartService = "start the service: systemctl --user start " USER_UNIT
                                  " (or log out and in again); it records its own process id.";
const std::string kRestartService = "restart the service: systemctl --user restart " USER_UNIT;

std::string user_name() {
    const passwd* pw = getpwuid(geteuid());
    return pw ? pw->pw_name : std::to_string(geteuid());
}

std::string group_name(gid_t gid) {
    const group* gr = getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

std::string owner_name(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string home_dir() {
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string mode_and_owner(const struct stat& st) {
    char mode[11] = "----------";
    mode[0] = S_ISCHR(st.st_mode) ? 'c' : S_ISDIR(st.st_mode) ? 'd' : '-';
    const char* rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (st.st_mode & (0400 >> i)) mode[i + 1] = rwx[i];
    return std::string(mode) + " " + owner_name(st.st_uid) + ":" + group_name(st.st_gid);
}

bool process_in_group(gid_t gid) {
    if (getegid() == gid) return true;
    gid_t groups[256];
    const int n = getgroups(256, groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

bool user_listed_in_group(gid_t gid) {
    const passwd* pw = getpwuid(geteuid());
    if (pw == nullptr) return false;
    gid_t groups[256];
    int n = 256;
    if (getgrouplist(pw->pw_name, pw->pw_gid, groups, &n) < 0) return false;
    return std::find(groups, groups + n, gid) != groups + n;
}
