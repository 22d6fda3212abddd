"""Lock files live in the shared /tmp, where any local user can put something
at their names before the suite starts. A planted link is never followed and
a planted FIFO never hangs a program: each reports that it cannot open its
lock and stops, and nothing appears at the link's target. The same holds for
the configuration file, for whoever may write its directory."""
import os
import stat
import subprocess

import pytest

from plugin_service import QUILLD, QUILLD_COMPACT
from plugin_tools import EDGETAB, ZURAZE

PROGRAMS = [(QUILLD, "/tmp/Quilld.mux"), (QUILLD_COMPACT, "/tmp/Quilld.mux"),
            (ZURAZE, "/tmp/Zuraze.mux"), (EDGETAB, "/tmp/Edgetab.mux")]
TARGET = "/root/planted-target"


def plant_link(lock):
    os.symlink(TARGET, lock)


def plant_fifo(lock):
    os.mkfifo(lock, 0o666)


@pytest.mark.parametrize("plant", [plant_link, plant_fifo], ids=["symlink", "fifo"])
@pytest.mark.parametrize("program,lock", PROGRAMS, ids=["Quilld", "compact", "Zuraze", "Edgetab"])
def test_planted_lock_is_refused(plant, program, lock, config, xserver, start_program):
    if os.path.lexists(TARGET):
        os.unlink(TARGET)
    plant(lock)
    # The edge-key tool goes as far as its lock only when a service is
    # registered; this one is not a service, so nobody signals it.
    config.write(f"[PID]\nQuilld={os.getpid()}\n[coordinate]\ndotNum=4\ndotX0=400\n")

    run = start_program([program], env=xserver.env())
    assert run.wait_exit(10) == 1, "the program went on (or hung) with a planted lock file"
    assert f"Can not open {lock}:" in run.output()
    assert not os.path.lexists(TARGET), "the link was followed"
    assert (config.registry("Quilld"), config.get("coordinate", "dotX0")) == (os.getpid(), "400")


CONFIG = "/usr/share/RivarAzazuva/QMRV/config.ini"
# Another user's file, in the same file system as the configuration file.
PRIVATE = "/usr/share/RivarAzazuva/private-of-nobody"


def plant_config(kind):
    os.remove(CONFIG)
    if kind == "fifo":
        os.mkfifo(CONFIG, 0o666)
    elif kind == "dangling-link":
        os.symlink(TARGET, CONFIG)
    else:
        (os.symlink if kind == "link" else os.link)(PRIVATE, CONFIG)


@pytest.mark.parametrize("kind", ["fifo", "link", "dangling-link", "hard-link"])
def test_a_planted_configuration_file_is_never_waited_on_written_through_or_published(
        kind, config, xserver, board, start_program):
    """The service, as root, registers by a rewrite through a new file renamed
    over the old one: it must neither hang on a FIFO, nor republish the
    private file a link names with its mode and owner, nor create a link's
    target, nor rewrite a file that has a second name."""
    with open(PRIVATE, "w") as f:
        f.write("[PID]\nsecret=1\n")
    os.chown(PRIVATE, 65534, 65534)
    os.chmod(PRIVATE, 0o600)
    if os.path.lexists(TARGET):
        os.unlink(TARGET)
    plant_config(kind)
    before = os.lstat(CONFIG)
    try:
        service = start_program([QUILLD], env=xserver.env(), expect_stderr=True)
        # It greets the board once it has registered, or failed to.
        assert board.wait_greetings(1, 10), "the service hung: " + service.output()
        after = os.lstat(CONFIG)
        doctor = subprocess.run(["/usr/bin/whiteboard-doctor"], capture_output=True, text=True,
                                timeout=10, cwd="/")
        assert service.stop() == 0
    finally:
        os.remove(CONFIG)
    assert (after.st_ino, stat.S_IFMT(after.st_mode)) == (before.st_ino, stat.S_IFMT(before.st_mode))
    with open(PRIVATE) as f:
        assert f.read() == "[PID]\nsecret=1\n"
    assert not os.path.lexists(TARGET), "the link was followed"
    what = {"fifo": "it is a FIFO, not a regular file",
            "hard-link": "it has 2 names (hard links)"}.get(kind, "it is a symbolic link, not a "
                                                                "regular file")
    assert f"Cannot write {CONFIG}: {what}\n" in service.stderr()
    assert [line for line in doctor.stdout.splitlines() if line.startswith("problem config")], \
        doctor.stdout
