// What the system says about the board's port and its neighbours, read from
// sysfs, the udev database and /proc. Each reader takes the root or the text
// it reads, so that the tests can hand it a recorded one.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A regular file's text: at most max_bytes of it, and what could be read
// within max_seconds; empty when it is unreadable or not a regular file.
std::string read_text(const std::string& path, size_t max_bytes = 64 * 1024,
                      double max_seconds = 2.0);

// The USB device a character device hangs off, from sysfs.
struct UsbAdapter {
    std::string vendor_id;   // "0403"
    std::string product_id;  // "6001"
    std::string manufacturer;
    std::string product;
    std::string driver;  // "ftdi_sio"; empty when unbound
};

// Looks up character device major:minor under sys_root ("/sys"): the first
// directory above it that holds idVendor and idProduct. false when the device
// is not in sysfs (a pseudo-terminal) or hangs off no USB device.
bool find_usb_adapter(const std::string& sys_root, unsigned major, unsigned minor, UsbAdapter* out);

// "0403:6001 FTDI FT232R USB UART (driver ftdi_sio)".
std::string adapter_label(const UsbAdapter& a);

// The value of a property in a udev database entry ("E:NAME=value" lines);
// empty when the entry has none.
std::string udev_property(const std::string& entry, const std::string& name);

// Whether a /proc/net/udp or /proc/net/udp6 table holds a socket that
// receives datagrams sent to 127.0.0.1 on port: bound to it, to the
// wildcard address, or to its IPv4-mapped IPv6 form.
bool udp_table_receives_loopback(const std::string& table, int port);

// The ids of the processes whose /proc/<pid>/comm is name.
std::vector<int> processes_named(const std::string& name);

// The program process pid runs, as /proc/<pid>/exe names it (" (deleted)"
// left off, for a program replaced by an upgrade); empty when that cannot be
// read, as for another user's process unless the doctor runs as root.
std::string process_executable(int pid);

// The user owning process pid; false when there is no such process.
bool process_owner(int pid, uid_t* uid);

// Whether a desktop entry turns itself off: "Hidden=true" or
// "X-GNOME-Autostart-enabled=false".
bool desktop_entry_disabled(const std::string& entry);
