// The tools' core log CORE_LOG_FILE: time-stamped reasons for an abnormal end.
#pragma once

// Appends the local time in ctime's form (with its line end) and reason
// followed by a line end. The directory is created when missing; a link at
// the file's name is never followed. When the file cannot be opened, writes
// "Unable create core file!\n" to standard error instead.
void write_core(const char* reason);
