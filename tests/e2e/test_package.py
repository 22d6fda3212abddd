"""The Debian packages: built with CPack, installed with dpkg into a sandbox
whose /usr, /etc and /var are private copies, the installed service drives the
pointer, and removal leaves nothing but the user's configuration file.

The tests run in file order: install, use, remove."""
import gzip
import os
import re
import signal
import subprocess
import tempfile

import pytest

BUILD = os.environ.get("E2E_BUILD", "")
SUITE, DEMO = "whiteboard-drivers", "whiteboard-demo"
CONFIG_FILE = "/usr/share/RivarAzazuva/QMRV/config.ini"
SUITE_DIRS = ("/usr/local/Slatrix_QM_RV_Drivers", "/usr/share/RivarAzazuva",
              "/usr/share/Slatrix")
CORE_LOG = "/usr/share/Slatrix/QMRV/.core.slx"
# Every program and every piece of installation data, at its fixed path.
SUITE_FILES = (
    "/usr/local/Slatrix_QM_RV_Drivers/Quilld",
    "/usr/local/Slatrix_QM_RV_Drivers/Quilld-compact",
    "/usr/local/Slatrix_QM_RV_Drivers/Dupwarn",
    "/usr/local/Slatrix_QM_RV_Drivers/Bareedge",
    "/usr/local/Slatrix_QM_RV_Drivers/run_Orient",
    "/usr/local/Slatrix_QM_RV_Drivers/S4.bmp",
    "/usr/local/Slatrix_QM_RV_Drivers/edgetab_res/RedPen1.bmp",
    "/usr/share/RivarAzazuva/QMRV/Zuraze",
    "/usr/share/RivarAzazuva/QMRV/Edgetab",
    "/usr/bin/whiteboard-doctor",
    "/usr/share/RivarAzazuva/QMRV/msg.ini",
    "/etc/xdg/autostart/quilld.desktop",
    "/usr/lib/systemd/user/quilld.service",
    "/usr/lib/udev/rules.d/70-whiteboard-board.rules",
    "/usr/lib/udev/rules.d/71-whiteboard-uinput.rules",
    "/usr/lib/modules-load.d/whiteboard-uinput.conf",
    "/usr/share/libinput/90-whiteboard-pen.quirks",
    "/usr/share/applications/zuraze.desktop",
    "/usr/share/applications/edgetab.desktop",
    *(f"/usr/share/man/man1/{p}.1.gz" for p in
      ("Quilld", "Quilld-compact", "Zuraze", "Edgetab", "Dupwarn", "Bareedge",
       "whiteboard-doctor")),
    "/usr/share/doc/whiteboard-drivers/copyright",
    "/usr/share/doc/whiteboard-drivers/changelog.gz",
)
EXECUTABLES = [f for f in SUITE_FILES if os.path.basename(f) in
               ("Quilld", "Quilld-compact", "Dupwarn", "Bareedge", "run_Orient", "Zuraze",
                "Edgetab", "whiteboard-doctor")]
RUNTIME_DEPENDENCIES = ("libgtk2.0-0", "libx11-6", "libxtst6", "libglib2.0-0")
WHITEBOARD_LAUNCHER = "/usr/share/Slatrix_Software/run"


def run(*cmd):
    result = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, f"{cmd} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}"
    return result.stdout


def package_files(deb):
    """Paths of the regular files a package ships."""
    out = run("dpkg-deb", "-c", deb)
    return {line.split()[-1].lstrip(".") for line in out.splitlines() if line.startswith("-")}


def status(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Abbrev}", package],
                            capture_output=True, text=True)
    return result.stdout.strip() if result.returncode == 0 else "absent"


@pytest.fixture(scope="module")
def debs():
    """The packages, built by CPack from the build directory into a private folder."""
    if not os.path.isfile(os.path.join(BUILD, "CPackConfig.cmake")):
        pytest.fail(f"{BUILD} has no CPackConfig.cmake", pytrace=False)
    assert not os.path.exists("/usr/local/Slatrix_QM_RV_Drivers"), \
        "the sandbox must start without the suite (--no-install)"
    out_dir = tempfile.mkdtemp(prefix="e2e-debs-", dir="/tmp")
    run("cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", out_dir)
    found = {}
    for name in os.listdir(out_dir):
        for package in (SUITE, DEMO):
            if name.startswith(package + "_") and name.endswith(".deb"):
                found[package] = os.path.join(out_dir, name)
    assert set(found) == {SUITE, DEMO}, os.listdir(out_dir)
    return found


def test_suite_package_ships_every_file_and_declares_its_dependencies(debs):
    shipped = package_files(debs[SUITE])
    assert not [f for f in SUITE_FILES if f not in shipped]
    depends = run("dpkg-deb", "-f", debs[SUITE], "Depends")
    assert [d for d in RUNTIME_DEPENDENCIES if d not in depends] == [], depends
    assert WHITEBOARD_LAUNCHER not in shipped


def test_demo_package_stays_apart_from_the_suite(debs):
    demo = package_files(debs[DEMO])
    assert "/usr/local/bin/whiteboard-demo" in demo
    assert demo.isdisjoint(package_files(debs[SUITE]))
    assert WHITEBOARD_LAUNCHER not in demo
    assert not any(f.startswith(SUITE_DIRS) for f in demo)


# What lintian may still report at its default level (errors and warnings):
# the maintainer address stays a placeholder until the team has a public one.
# Everything kept on purpose is overridden in the packages, with the reason.
LINTIAN_ACCEPTED = {"bogus-mail-host", "bogus-mail-host-in-debian-changelog"}


@pytest.mark.parametrize("package", (SUITE, DEMO))
def test_lintian_finds_nothing_but_the_placeholder_address(debs, package):
    result = subprocess.run(["lintian", "--fail-on", "none", "--show-overrides",
                             "--tag-display-limit=0", debs[package]],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr   # lintian itself failed
    # The package's own overrides were read: lintian looked at its files.
    assert re.search(rf"^O: {package}: file-in-usr-local ", result.stdout, re.M), result.stdout
    tags = re.findall(rf"^[EW]: {package}(?: \S+)?: (\S+)", result.stdout, re.M)
    assert set(tags) <= LINTIAN_ACCEPTED, result.stdout


@pytest.mark.parametrize("package", (SUITE, DEMO))
def test_changelog_names_the_package_version(debs, package):
    version = run("dpkg-deb", "-f", debs[package], "Version").strip()
    unpacked = tempfile.mkdtemp(prefix="e2e-deb-", dir="/tmp")
    run("dpkg-deb", "-x", debs[package], unpacked)
    doc = os.path.join(unpacked, "usr", "share", "doc", package)
    with gzip.open(os.path.join(doc, "changelog.gz"), "rt") as f:
        assert f.readline().startswith(f"{SUITE} ({version}) ")
    assert os.path.getsize(os.path.join(doc, "copyright")) > 0


def test_dpkg_installs_the_suite(debs):
    run("dpkg", "-i", debs[SUITE])
    assert status(SUITE) == "ii"
    assert [f for f in SUITE_FILES if not os.path.isfile(f)] == []
    assert [f for f in EXECUTABLES if not os.access(f, os.X_OK)] == []
    # The programs run as the desktop user, who must be able to write the configuration.
    assert os.stat(CONFIG_FILE).st_mode & 0o666 == 0o666


def test_installed_service_moves_the_pointer(config, quilld, board, pointer):
    config.write(config.calibration([(400, 300), (400, 3300), (3600, 300), (3600, 3300)]))
    service = quilld()
    assert board.wait_greetings(1, 10)
    assert service.wait_line("signal_usr2 called")
    # Board (2000, 1800) is the middle of the calibrated area: the screen's middle.
    board.stroke([(2000, 1800)] * 10 + [(2400, 2100)] * 10, lifts=3)
    assert pointer.wait_motion_to(512, 384, 5, tolerance=3)
    assert pointer.wait_release(1, 5)
    assert [(e.kind, e.button) for e in pointer.events() if e.kind != "motion"] == \
        [("press", 1), ("release", 1)]
    assert service.stop(signal.SIGTERM) == 0


def test_demo_package_installs_and_removes_beside_the_suite(debs):
    run("dpkg", "-i", debs[DEMO])
    assert os.access("/usr/local/bin/whiteboard-demo", os.X_OK)
    run("dpkg", "-r", DEMO)
    assert not os.path.exists("/usr/local/bin/whiteboard-demo")
    assert status(SUITE) == "ii"


def test_removal_leaves_only_the_configuration_file(debs):
    # What the programs leave at run time: the calibration tool's log, a lock file.
    os.makedirs(os.path.dirname(CORE_LOG), exist_ok=True)
    with open(CORE_LOG, "w") as f:
        f.write("log\n")
    open("/tmp/Quilld.mux", "w").close()
    # A FIFO planted at a lock file's name must not hold the removal up.
    os.mkfifo("/tmp/Edgetab.mux")
    with open(CONFIG_FILE, "a") as f:
        f.write("[PID]\nQuilld=-1\n")
    result = subprocess.run(["dpkg", "-r", SUITE], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stdout + result.stderr
    assert status(SUITE) in ("absent", "un", "rc")
    assert [f for f in SUITE_FILES if os.path.lexists(f)] == []
    left = [os.path.join(d, name) for top in SUITE_DIRS if os.path.exists(top)
            for d, _, names in os.walk(top) for name in names]
    assert left == [CONFIG_FILE]
    assert "Quilld=-1" in open(CONFIG_FILE).read()
    assert not os.path.exists("/tmp/Quilld.mux")
    assert not os.path.exists("/usr/local/Slatrix_QM_RV_Drivers")
    assert not os.path.exists("/usr/share/Slatrix")
