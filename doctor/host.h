// The user, groups and files as the doctor's lines name them, and the fixes
// that several checks give.
#pragma once

#include <sys/stat.h>

#include <string>

#include "store/paths.h"

extern const std::string kRecalibrate;   // the fix for a calibration that is wrong or gone
extern const std::string kStartService;  // the fix for a service that does not run
// The start of the fix for a service that runs but must take a change.
extern const std::string kRestartService;

std::string user_name();  // the user running the doctor
std::string group_name(gid_t gid);
std::string owner_name(uid_t uid);
std::string home_dir();
bool exists(const std::string& path);  // anything at all there, links not followed
std::string quoted(const std::string& s);
// "crw-rw---- root:dialout"
std::string mode_and_owner(const struct stat& st);
// Whether this process has the group, and whether the user is listed in it
// (a group joined after login is listed but not had).
bool process_in_group(gid_t gid);
bool user_listed_in_group(gid_t gid);
