// The pointer as a kernel input device (/dev/uinput): an absolute pointer
// that every X server and Wayland compositor reads through libinput, so that
// the pen drives the whole desktop of a Wayland session too. Shaped as a
// mouse with absolute motion (no touch, tool or direct-input bits): the
// desktop spreads its range over all monitors, and the service's own mapping
// onto the whole screen or the calibrated monitor carries over unchanged.
#pragma once

#include <linux/input.h>

#include <cstdint>

#include "pointer.h"
#include "store/paths.h"

// The device's fixed identity (and KERNEL_POINTER_NAME), for udev rules and
// compositor settings.
constexpr uint16_t KERNEL_POINTER_BUS = BUS_VIRTUAL;
constexpr uint16_t KERNEL_POINTER_VENDOR = 0x5742;
constexpr uint16_t KERNEL_POINTER_PRODUCT = 0x0001;

// Said after the Wayland note when the service has no kernel device.
constexpr const char* KERNEL_POINTER_HINT =
    "For the board to drive the whole Wayland desktop, let the service use /dev/uinput: the "
    "whiteboard-drivers package's udev rule (" UINPUT_RULE_FILE
    ") grants it to the logged-in "
    "user; log out and in again after installing it.";

// Both axes take the values 0 .. KERNEL_POINTER_RANGE - 1 over the whole X
// screen, whatever its size.
constexpr int KERNEL_POINTER_RANGE = 1 << 16;

// The axis value for pixel on an axis size pixels long (clamped to it): the
// middle of the values that libinput's (value - min) * size / (max - min + 1)
// turns into that pixel, so rounding either way lands on it.
int kernel_pointer_value(int pixel, int size);

// The event groups the device is sent, each closed by EV_SYN: a move to
// (x, y) on a width by height screen, and a change of X button 1, 2 or 3.
// Return the number of events written to out.
int move_group(int x, int y, int width, int height, input_event out[3]);
int button_group(int button, bool pressed, input_event out[2]);

// Drives the device open at fd; one write per group. The screen is the
// whole X screen as it is now.
class KernelPointerSink : public PointerSink {
public:
    KernelPointerSink(int fd, int width, int height) : fd_(fd), width_(width), height_(height) {}
    void move(int x, int y) override;
    void button(int button, bool pressed) override;
    void pause_us(int microseconds) override;

private:
    int fd_, width_, height_;
};

// Creates the device: its descriptor, or -1 when /dev/uinput cannot be opened
// for writing or refuses the device.
int create_kernel_pointer();

// Removes the device and closes fd; nothing when fd is below 0.
void destroy_kernel_pointer(int fd);
