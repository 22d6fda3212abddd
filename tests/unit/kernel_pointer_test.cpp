// The kernel pointer: every pixel of any screen comes back out of libinput's
// transform, and strokes, long presses and pen buttons reach the device as
// the event groups an absolute pointer sends.
#include "kernel_pointer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// libinput's absolute transform, for the device's range 0 .. RANGE - 1.
int libinput_pixel(int value, int size) {
    return int(double(value) * size / double(KERNEL_POINTER_RANGE));
}

TEST(KernelPointer, EveryPixelOfAnyScreenComesBack) {
    for (int size : {1, 2, 3, 7, 600, 768, 800, 1000, 1024, 1080, 1366, 1920, 2560, 3840, 5120,
                     7680, 16384, 32767}) {
        for (int pixel = 0; pixel < size; ++pixel)
            ASSERT_EQ(libinput_pixel(kernel_pointer_value(pixel, size), size), pixel)
                << pixel << " of " << size;
        // A sample mapped past an edge lands on it.
        EXPECT_EQ(kernel_pointer_value(-40, size), kernel_pointer_value(0, size)) << size;
        EXPECT_EQ(kernel_pointer_value(size + 9, size), kernel_pointer_value(size - 1, size));
        EXPECT_LT(kernel_pointer_value(size - 1, size), KERNEL_POINTER_RANGE);
    }
}

// What the device is sent, one word per event: "x 960" and "y 540" as
// pixels of a 1920 by 1080 screen, "left 1", "right 0", "syn".
std::vector<std::string> sent(int fd) {
    std::vector<std::string> out;
    input_event e;
    while (read(fd, &e, sizeof e) == ssize_t(sizeof e)) {
        if (e.type == EV_SYN)
            out.push_back("syn");
        else if (e.type == EV_ABS)
            out.push_back(std::string(e.code == ABS_X ? "x " : "y ") +
                          std::to_string(libinput_pixel(e.value, e.code == ABS_X ? 1920 : 1080)));
        else
            out.push_back(std::string(e.code == BTN_LEFT    ? "left "
                                      : e.code == BTN_RIGHT ? "right "
                                                            : "middle ") +
                          std::to_string(e.value));
    }
    return out;
}

TEST(KernelPointer, StrokesLongPressesAndPenButtonsAreWholeEventGroups) {
    int pipe_fds[2];
    ASSERT_EQ(pipe2(pipe_fds, O_NONBLOCK), 0);
    KernelPointerSink sink(pipe_fds[1], 1920, 1080);
    MouseState state;
    using Words = std::vector<std::string>;
    const Words at_1919_0 = {"x 1919", "y 0", "syn"};

    MouseAction(state, sink, {1919, 0, ACT_CONTACT});
    EXPECT_EQ(sent(pipe_fds[0]), (Words{"x 1919", "y 0", "syn", "left 1", "syn"}));
    // Held still past the long press: the left button goes up, the right
    // one clicks; never the middle one.
    for (int i = 0; i <= LONG_PRESS_SAMPLES; ++i) MouseAction(state, sink, {1919, 0, ACT_CONTACT});
    Words long_press;
    for (int i = 0; i < LONG_PRESS_SAMPLES; ++i)
        long_press.insert(long_press.end(), at_1919_0.begin(), at_1919_0.end());
    for (const char* w : {"left 0", "syn", "right 1", "syn", "right 0", "syn"})
        long_press.push_back(w);
    long_press.insert(long_press.end(), at_1919_0.begin(), at_1919_0.end());
    EXPECT_EQ(sent(pipe_fds[0]), long_press);
    MouseAction(state, sink, {5000, -3, ACT_LIFT});
    EXPECT_EQ(sent(pipe_fds[0]), (Words{"x 1919", "y 0", "syn", "left 0", "syn"}));
    // The pen's front and back buttons where the pointer is.
    MouseAction(state, sink, {0, 0, ACT_LEFT_CLICK});
    MouseAction(state, sink, {0, 0, ACT_RIGHT_CLICK});
    EXPECT_EQ(sent(pipe_fds[0]), (Words{"left 1", "syn", "left 0", "syn", "left 0", "syn",
                                        "right 1", "syn", "right 0", "syn"}));
    close(pipe_fds[0]);
    close(pipe_fds[1]);
}

}  // namespace
