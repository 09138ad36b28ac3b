"""Reads every test as CTest will run it (ctest --show-only=json-v1) and
fails when one lacks SDL_AUDIODRIVER=dummy, or XDG_CONFIG_HOME or
XDG_DATA_HOME inside the build folder: such a test would read and write the
player's real settings and replays, or play on the real sound card.

Usage: check_environment.py CTEST BUILD_DIR
"""
import json
import os
import subprocess
import sys


def problems(test, build):
    env = {}
    for prop in test.get("properties", []):
        if prop["name"] == "ENVIRONMENT":
            for entry in prop["value"]:
                name, _, value = entry.partition("=")
                env[name] = value
    found = []
    if env.get("SDL_AUDIODRIVER") != "dummy":
        found.append("SDL_AUDIODRIVER=dummy")
    for name in ("XDG_CONFIG_HOME", "XDG_DATA_HOME"):
        path = os.path.normpath(env.get(name, "/"))
        if os.path.commonpath([path, build]) != build or path == build:
            found.append("%s inside %s" % (name, build))
    return found, env


def main():
    ctest, build = sys.argv[1], os.path.normpath(sys.argv[2])
    listed = subprocess.run([ctest, "--show-only=json-v1"], cwd=build, capture_output=True,
                            text=True, check=True).stdout
    tests = json.loads(listed)["tests"]
    if len(tests) < 2:
        print("FAIL: ctest lists %d tests: nothing was discovered" % len(tests))
        return 1
    failed = 0
    for test in tests:
        if test["name"].endswith("_NOT_BUILT"):
            print("FAIL: %s: the test executable is not built" % test["name"])
            failed += 1
            continue
        found, env = problems(test, build)
        if found:
            print("FAIL: %s: no %s (has %s)" % (test["name"], ", ".join(found), sorted(env)))
            failed += 1
    print("environment: %d tests checked, %d without their own" % (len(tests), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
