#include "kernel_pointer.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "store/fileio.h"

namespace {

input_event event(uint16_t type, uint16_t code, int32_t value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

void send(int fd, const input_event* events, int count) {
    // The kernel takes a group whole or not at all; nothing to retry.
    (void)write_all(fd, events, sizeof(input_event) * size_t(count));
}

}  // namespace

int kernel_pointer_value(int pixel, int size) {
    if (size <= 0) return 0;
    if (pixel < 0) pixel = 0;
    if (pixel >= size) pixel = size - 1;
    return int((2 * int64_t(pixel) + 1) * KERNEL_POINTER_RANGE / (2 * int64_t(size)));
}

int move_group(int x, int y, int width, int height, input_event out[3]) {
    out[0] = event(EV_ABS, ABS_X, kernel_pointer_value(x, width));
    out[1] = event(EV_ABS, ABS_Y, kernel_pointer_value(y, height));
    out[2] = event(EV_SYN, SYN_REPORT, 0);
    return 3;
}

int button_group(int button, bool pressed, input_event out[2]) {
    const uint16_t code = button == 3 ? BTN_RIGHT : button == 2 ? BTN_MIDDLE : BTN_LEFT;
    out[0] = event(EV_KEY, code, pressed ? 1 : 0);
    out[1] = event(EV_SYN, SYN_REPORT, 0);
    return 2;
}

void KernelPointerSink::move(int x, int y) {
    input_event group[3];
    send(fd_, group, move_group(x, y, width_, height_, group));
}

void KernelPointerSink::button(int button, bool pressed) {
    input_event group[2];
    send(fd_, group, button_group(button, pressed, group));
}

void KernelPointerSink::pause_us(int microseconds) { usleep(microseconds); }

int create_kernel_pointer() {
    const int fd = open(UINPUT_DEVICE, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // A middle button of its own: without one, libinput emulates it from
    // left and right pressed together, and a stroke followed at once by the
    // pen's back button came out as a middle click.
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_KEYBIT, BTN_LEFT) == 0 &&
              ioctl(fd, UI_SET_KEYBIT, BTN_RIGHT) == 0 &&
              ioctl(fd, UI_SET_KEYBIT, BTN_MIDDLE) == 0 && ioctl(fd, UI_SET_EVBIT, EV_ABS) == 0;
    for (const uint16_t axis : {ABS_X, ABS_Y}) {
        uinput_abs_setup abs{};
        abs.code = axis;
        abs.absinfo.minimum = 0;
        abs.absinfo.maximum = KERNEL_POINTER_RANGE - 1;
        ok = ok && ioctl(fd, UI_SET_ABSBIT, axis) == 0 && ioctl(fd, UI_ABS_SETUP, &abs) == 0;
    }
    uinput_setup setup{};
    setup.id.bustype = KERNEL_POINTER_BUS;
    setup.id.vendor = KERNEL_POINTER_VENDOR;
    setup.id.product = KERNEL_POINTER_PRODUCT;
    setup.id.version = 1;
    strncpy(setup.name, KERNEL_POINTER_NAME, UINPUT_MAX_NAME_SIZE - 1);
    if (ok && ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0) return fd;
    close(fd);
    return -1;
}

void destroy_kernel_pointer(int fd) {
    if (fd < 0) return;
    ioctl(fd, UI_DEV_DESTROY);
    close(fd);
}
