"""The pen on the board drives the X pointer: where the calibration says,
pressed while in contact, smoothed, right-clicked by a long still press.

Every test runs the installed service against the simulated board on a
1000 by 800 screen. The service is the only reader of the port, so each
packet sent is handled exactly once, in order; pointer events are compared
as whole sequences, and a later stroke serves as the marker that everything
before it has been handled.
"""
import time

import pytest

from plugin_service import SERVICE_PROGRAMS
from steps_service import (CALIBRATION, ELECTROMAGNETIC, MAPPED, TOUCH, motion, press, release,
                           seen, start_identified, stroke_events, tap, wait_events)

SCREEN = pytest.mark.screen(1000, 800)

# Board points where the targets are: board units are pixels.
IDENTITY_CALIBRATION = [(100, 80), (100, 720), (900, 80), (900, 720)]

# Identification replies: both board lines, edge keys watched or not, every size.
BOARD_LINES = [
    pytest.param((0xC8, 0xDD), id="touch-C8DD"),
    pytest.param((0xC8, 0xCC), id="touch-C8CC"),
    pytest.param((0xE8, 0xCE), id="em80-E8CE"),
    pytest.param((0xE8, 0xDD), id="em80-E8DD"),
    pytest.param((0xE5, 0xED), id="em50-E5ED"),
    pytest.param((0xE6, 0xEF), id="em60-E6EF"),
    pytest.param((0xEA, 0xCE), id="em100-EACE"),
    pytest.param((0xEC, 0xDD), id="em120-ECDD"),
]


# ---------------------------------------------------------------- helpers

def packet_with_check(body):
    check = 0
    for b in body:
        check ^= b
    return bytes(body) + bytes([check])


# ---------------------------------------------------------------- mapping

@SCREEN
@pytest.mark.parametrize("ident", BOARD_LINES)
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_each_stroke_presses_and_releases_at_its_calibrated_pixel(quilld, board, config,
                                                                  pointer, ident, program):
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION), program)
    for point, _ in MAPPED:
        tap(board, point)
    expected = [e for _, pixel in MAPPED for e in stroke_events(pixel)]
    assert seen(wait_events(pointer, len(expected))) == expected


# The same board point packed for each line, and each line reading the other's packing.
RAW_CONTACTS = [
    pytest.param(TOUCH, (0x1C, 0x08, 0x1F, 0x10), (500, 400), id="touch-y-in-3-4-x-in-5-6"),
    pytest.param(TOUCH, (0xDC, 0x48, 0x5F, 0xD0), (500, 400), id="touch-top-bits-ignored"),
    pytest.param(ELECTROMAGNETIC, (0x1F, 0x10, 0x1C, 0x08), (500, 400), id="em-x-in-3-4-y-in-5-6"),
    pytest.param(ELECTROMAGNETIC, (0x5F, 0xD0, 0xDC, 0x48), (500, 400), id="em-top-bits-ignored"),
    pytest.param(ELECTROMAGNETIC, (0x1C, 0x08, 0x1F, 0x10), (450, 442), id="em-reads-touch-packing-swapped"),
    pytest.param(TOUCH, (0x1F, 0x10, 0x1C, 0x08), (450, 442), id="touch-reads-em-packing-swapped"),
]


@SCREEN
@pytest.mark.parametrize("ident,coordinate_bytes,pixel", RAW_CONTACTS)
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_both_board_lines_put_the_same_board_point_on_the_same_pixel(
        quilld, board, config, pointer, ident, coordinate_bytes, pixel, program):
    # (1800, 2000) as coordinates A and B: board (2000, 1800) on the touch line.
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION), program)
    for event in (0x51, 0x61):
        board.send(packet_with_check([0xEE, 0x00, event, *coordinate_bytes]))
    assert seen(wait_events(pointer, 4)) == stroke_events(pixel)


@SCREEN
@pytest.mark.parametrize("ident", BOARD_LINES)
def test_without_calibration_every_stroke_lands_on_the_origin(quilld, board, config, pointer,
                                                             ident):
    start_identified(quilld, board, config, ident, "")
    for point, _ in MAPPED:
        tap(board, point)
    expected = stroke_events((0, 0)) * len(MAPPED)
    assert seen(wait_events(pointer, len(expected))) == expected


# ---------------------------------------------------------------- stroke life

@SCREEN
@pytest.mark.parametrize("ident", BOARD_LINES)
def test_lift_moves_to_the_lift_point_and_releases_once_however_many_lift_packets(
        quilld, board, config, pointer, ident):
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION))
    board.contact(2000, 1800)
    board.lift(100, 100)
    board.lift(3000, 900)   # a repeated lift must not even move the pointer
    tap(board, (3600, 3300))
    expected = [motion((500, 400)), press((500, 400)), motion((25, 37)), release((25, 37))]
    expected += stroke_events((900, 720))
    assert seen(wait_events(pointer, len(expected))) == expected


@SCREEN
@pytest.mark.parametrize("ident", BOARD_LINES)
def test_pen_held_still_right_clicks_on_every_61st_still_sample(quilld, board, config, pointer,
                                                               ident):
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION))
    here = (500, 400)
    right_click = [release(here), press(here, 3), release(here, 3)]

    def hold(count):
        board.contact(2000, 1800, count=count)

    hold(1 + 60)
    assert [e for e in seen(wait_events(pointer, 62)) if e[0] != "motion"] == [press(here)], \
        "no right click before the 61st still sample"
    hold(1)
    assert seen(wait_events(pointer, 66))[62:] == right_click + [motion(here)]
    # The pen stays down and the count starts again; button 1 is already up,
    # so the server drops the click's release of it.
    hold(60)
    assert [e for e in seen(wait_events(pointer, 126)) if e[0] != "motion"] == \
        [press(here)] + right_click
    hold(1)
    assert seen(wait_events(pointer, 129))[126:] == right_click[1:] + [motion(here)]


@SCREEN
@pytest.mark.parametrize("ident", BOARD_LINES)
@pytest.mark.parametrize("program", SERVICE_PROGRAMS)
def test_pointer_follows_a_moving_pen_smoothed_towards_the_new_sample(quilld, board, config,
                                                                     pointer, ident, program):
    start_identified(quilld, board, config, ident, config.calibration(IDENTITY_CALIBRATION),
                     program)
    board.contact(100, 100)
    board.contact(200, 100, count=2)
    board.lift(200, 100)
    # 0.7 of the new sample and 0.3 of the last position, in single-precision
    # weights: 200 after 100 is 169 (not 170), then 190.
    expected = [motion((100, 100)), press((100, 100)), motion((169, 100)), motion((190, 100)),
                motion((200, 100)), release((200, 100))]
    assert seen(wait_events(pointer, len(expected))) == expected


# ---------------------------------------------------------------- damaged packets

def send_with_bad_check_byte(board, event, point):
    board.bad_packet(event, *point)


def send_in_two_writes(board, event, point):
    board.send(board.packet(event, *point), split_at=5, gap=0.3)
    # The board pauses too, so the next packet is not read together with the tail.
    time.sleep(0.3)


DAMAGES = [
    pytest.param(send_with_bad_check_byte, id="bad-check-byte"),
    pytest.param(send_in_two_writes, id="split-5-3"),
]


@SCREEN
@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC], ids=["touch", "em"])
@pytest.mark.parametrize("damage", DAMAGES)
def test_damaged_contact_packet_makes_no_pointer_action(quilld, board, config, pointer, ident,
                                                        damage):
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION))
    damage(board, 0x51, (2000, 1800))
    tap(board, (100, 100))
    assert seen(wait_events(pointer, 4)) == stroke_events((25, 37))


@SCREEN
@pytest.mark.parametrize("ident", [TOUCH, ELECTROMAGNETIC], ids=["touch", "em"])
@pytest.mark.parametrize("damage", DAMAGES)
def test_damaged_lift_packet_keeps_the_button_down(quilld, board, config, pointer, ident, damage):
    start_identified(quilld, board, config, ident, config.calibration(CALIBRATION))
    board.contact(2000, 1800)
    damage(board, 0x61, (100, 100))
    board.lift(3000, 900)
    expected = [motion((500, 400)), press((500, 400)), motion((750, 208)), release((750, 208))]
    assert seen(wait_events(pointer, 4)) == expected
