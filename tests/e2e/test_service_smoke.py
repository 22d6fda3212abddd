"""The service starts, draws a stroke where the calibration says, and stops cleanly."""
import signal


def test_stroke_presses_moves_and_releases(config, quilld, board, pointer):
    config.write(config.calibration([(400, 300), (400, 3300), (3600, 300), (3600, 3300)]))
    service = quilld()
    assert service.wait_line("pid=")
    assert board.wait_greetings(1, 10)
    assert service.wait_line("signal_usr2 called")
    board.contact(2000, 1800, count=5)
    board.lift(2000, 1800, count=2)
    assert pointer.wait_release(1, 5)
    kinds = [(e.kind, e.button) for e in pointer.events() if e.kind != "motion"]
    assert kinds == [("press", 1), ("release", 1)]
    assert service.stop(signal.SIGTERM) == 0
    assert config.registry("Quilld") == -1
