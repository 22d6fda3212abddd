// Linked into every program and test of a sanitizer build only: the runtime
// options those builds always run with, so that a program started by a test
// (with nothing but DISPLAY in its environment) behaves like one started by
// hand.

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:strict_string_checks=1:check_initialization_order=1:"
           "detect_stack_use_after_return=1";
}

// The suppressed toolkit leaks are expected; a list of them at every exit
// would read as a report.
const char* __lsan_default_options() { return "print_suppressions=0"; }

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

const char* __tsan_default_options() { return "second_deadlock_stack=1:history_size=4"; }

// The toolkit libraries keep caches and type registrations for the life of
// the process, and their own threads are not instrumented. Our code is still
// checked.
const char* __lsan_default_suppressions() {
    return "leak:libgtk-x11\nleak:libgdk-x11\nleak:libgdk_pixbuf\nleak:libglib\n"
           "leak:libgobject\nleak:libgio\nleak:libpango\nleak:libfontconfig\nleak:libcairo\n"
           "leak:libX11\nleak:libxcb\nleak:libharfbuzz\nleak:libfreetype\n";
}

const char* __tsan_default_suppressions() {
    return "called_from_lib:libglib-2.0.so\n"
           "called_from_lib:libgobject-2.0.so\n"
           "called_from_lib:libgio-2.0.so\n"
           "called_from_lib:libgtk-x11-2.0.so\n"
           "called_from_lib:libgdk-x11-2.0.so\n"
           "called_from_lib:libgdk_pixbuf-2.0.so\n"
           "called_from_lib:libatk-1.0.so\n"
           "called_from_lib:libfontconfig.so\n"
           "called_from_lib:libpango-1.0.so\n"
           "called_from_lib:libpangocairo-1.0.so\n"
           "called_from_lib:libpangoft2-1.0.so\n"
           "called_from_lib:libcairo.so\n"
           "called_from_lib:libharfbuzz.so\n"
           "called_from_lib:libfreetype.so\n"
           "called_from_lib:libdconf.so\n"
           "race:libfontconfig.so\n"
           "race:libglib-2.0.so\n"
           "race:libgdk_pixbuf-2.0.so\n"
           // GLib's own locks are invisible to the runtime: their unlocks
           // look like unlocks of unlocked mutexes.
           "mutex:*libglib*\n"
           "mutex:*libgio*\n"
           "mutex:*libgobject*\n"
           "mutex:*libgdk_pixbuf*\n"
           "mutex:*libgdk*\n"
           "mutex:*libgtk*\n"
           "mutex:*libatk*\n"
           "mutex:*libpango*\n";
}
}
