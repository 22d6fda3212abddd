#!/bin/sh
# In a guest of tools/vm: udev, and the modules the pointer's kernel path
# needs, as a desktop system has them.
set -e
/lib/systemd/systemd-udevd --daemon
modprobe uinput
modprobe evdev
udevadm trigger --action=add
udevadm settle --timeout=30
# QEMU's display, for a compositor's DRM backend.
modprobe bochs
udevadm settle --timeout=30
