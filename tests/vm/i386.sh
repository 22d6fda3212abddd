#!/bin/sh
# The 32-bit build, in a guest of tools/vm (this machine's kernel runs no
# i386 programs):
#   i386.sh BUILD unit       each unit test program, all its cases, in one
#                            sandbox (a sandbox per case costs minutes under
#                            emulation);
#   i386.sh BUILD scenarios  the board service's, the calibration tool's and
#                            the edge-key tool's end-to-end scenarios, and the
#                            package's, with this build installed.
# Artefacts go to the shared folder.
set -e
build=$1
what=$2
status=0
case $what in
unit)
  for test in "$build"/tests/unit/*_test; do
    echo "== ${test##*/}"
    python3 tests/e2e/sandbox.py --build "$build" --no-install -- "$test" --gtest_brief=1 ||
      status=1
  done
  ;;
scenarios)
  # Under emulation a tool's first window takes longer than a host's bound.
  export E2E_SLOWDOWN=4
  # The i386 image loaders' cache is made by running an i386 program, which
  # the host that installed them cannot: without it the tools show no
  # pictures. The guest's root is a writable overlay.
  /usr/lib/i386-linux-gnu/gdk-pixbuf-2.0/gdk-pixbuf-query-loaders --update-cache
  python3 tests/e2e/sandbox.py --build "$build" -- \
      file -L /usr/local/Slatrix_QM_RV_Drivers/Quilld /usr/share/RivarAzazuva/QMRV/Zuraze
  for scenario in service_serial service_pointer service_keys zuraze edgetab package; do
    echo "== $scenario"
    options=
    [ "$scenario" = package ] && options="--private-etc-var --no-install"
    # shellcheck disable=SC2086
    python3 tests/e2e/sandbox.py --build "$build" --artifacts "/vm-out/artifacts/$scenario" \
        $options -- python3 -m pytest -p no:cacheprovider -q -rs "tests/e2e/test_$scenario.py" ||
      status=1
  done
  ;;
*)
  echo "usage: i386.sh BUILD unit|scenarios" >&2
  exit 2
  ;;
esac
exit $status
