#!/usr/bin/env python3
"""corvane-model and corvane-font over generated hostile files, one line per case.

Every run must end by itself within its bound with exit status 0 (converted) or 1
(refused, with exactly one line saying why); a crash, an abort, a hang or a silent
refusal is a failure.

Usage: tools.py BIN_DIR [--timeout S]   (S: corvane-model's --timeout, default 5)
Exit status 1 when a case fails.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def generated(script, *args):
    out = subprocess.run([sys.executable, os.path.join(HERE, script)] + list(args), check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        name, path, *extra = line.split("\t")
        yield name, path, extra


def judge(kind, tool, name, args, bound):
    start = time.monotonic()
    try:
        r = subprocess.run([tool] + args, capture_output=True, timeout=bound + 30)
        status, stdout, stderr = r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        status, stdout, stderr = None, "", ""
    seconds = time.monotonic() - start
    said = [l for l in stderr.splitlines() if "warning:" not in l]
    prefix = os.path.basename(tool) + ": "
    problems = []
    if status is None:
        problems.append("hung: killed after %.0f s" % seconds)
    elif status < 0:
        problems.append("ended by signal %d" % -status)
    elif status not in (0, 1):
        problems.append("exit %d" % status)
    elif status == 1 and (len(said) != 1 or not said[0].startswith(prefix)):
        problems.append("refused with %d lines" % len(said))
    elif status == 0 and len(stdout.splitlines()) != 1:
        problems.append("converted without its summary line")
    if seconds > bound + 5:
        problems.append("took %.1f s" % seconds)
    why = (said[-1] if status == 1 and said else stdout.strip())[:110]
    line = "%-4s %s %s: exit %s in %.2f s: %s" % ("ok" if not problems else "FAIL", kind, name, status, seconds,
                                                 "; ".join(problems) if problems else why)
    return not problems, line


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    timeout = float(sys.argv[sys.argv.index("--timeout") + 1]) if "--timeout" in sys.argv else 5.0
    work = tempfile.mkdtemp(prefix="corvane-abuse-tools-")
    passed = failed = 0
    try:
        model = os.path.join(bin_dir, "corvane-model")
        font = os.path.join(bin_dir, "corvane-font")
        runs = []
        if os.path.exists(model):
            for name, path, extra in generated("hostile_models.py", os.path.join(work, "models")):
                out = os.path.join(work, "out.model")
                runs.append(("model", model, name, [path, out, "--timeout", "%g" % timeout] + extra, timeout))
        else:
            print("skip model: corvane-model is not built")
        if os.path.exists(font) and os.path.exists(FONT):
            for name, path, extra in generated("hostile_fonts.py", FONT, os.path.join(work, "fonts")):
                runs.append(("font", font, name, [path, os.path.join(work, "out.png")] + extra, 30.0))
        else:
            print("skip font: corvane-font is not built or %s is missing" % FONT)
        for kind, tool, name, args, bound in runs:
            ok, line = judge(kind, tool, name, args, bound)
            print(line, flush=True)
            passed += ok
            failed += not ok
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("abuse tools: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
