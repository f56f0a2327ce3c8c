#!/usr/bin/env python3
"""End-to-end benchmark: the three generated print documents through Tessel
(HTML to PDF, HTML to PNG pages, layout alone) and through headless Chromium
and wkhtmltopdf (HTML to PDF), as whole processes. Runs alternate between the
tools; each figure is the median of the runs. Writes a table of absolute
figures and ratios to standard output and to a Markdown file.

usage: run.py BUILD_DIR [--runs N] [--documents letter,report,table] [--out FILE.md] [--work DIR]"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DOCUMENTS = ("letter", "report", "table")
TIME = "/usr/bin/time"
# A pause before each run, so that what the previous run left behind (a
# browser's helper processes, an X server shutting down) has settled.
SETTLE_SECONDS = 0.5


def install(packages):
    """Installs the comparison programs (only for this benchmark)."""
    missing = [p for p in packages if subprocess.run(["dpkg", "-s", p], capture_output=True).returncode]
    if missing:
        subprocess.run(["apt-get", "install", "-y", *missing], check=True, stdout=subprocess.DEVNULL)


# Debian's wkhtmltopdf runs without a display on Qt's offscreen platform.
OFFSCREEN = {"QT_QPA_PLATFORM": "offscreen"}


def wkhtmltopdf_setup(work):
    """How wkhtmltopdf runs fastest here: (command prefix, environment, how).
    Directly on the offscreen platform when a probe conversion works that
    way, without a display; else under xvfb-run, whose X server costs time."""
    probe_html = os.path.join(work, "wkhtmltopdf-probe.html")
    probe_pdf = os.path.join(work, "wkhtmltopdf-probe.pdf")
    with open(probe_html, "w") as f:
        f.write("<html><body><p>probe</p></body></html>")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(OFFSCREEN)
    try:
        probe = subprocess.run(["wkhtmltopdf", "-q", probe_html, probe_pdf], env=env, capture_output=True,
                               timeout=60)
        direct = probe.returncode == 0 and os.path.getsize(probe_pdf) > 0
    except (OSError, subprocess.TimeoutExpired):
        direct = False
    if direct:
        return ["wkhtmltopdf"], env, "directly (QT_QPA_PLATFORM=offscreen, no display)"
    return ["xvfb-run", "-a", "wkhtmltopdf"], None, "under xvfb-run (it needs a display here)"


def run_checked(command, cwd, env=None):
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed ({result.returncode}): {result.stderr[-400:]}")


def measure(command, cwd, env=None):
    """Runs one command twice; answers (wall seconds, peak KB). The wall time
    is taken around the process started from here; /usr/bin/time reports only
    hundredths and adds its own start. The peak comes from a second run under
    /usr/bin/time, which is small when it starts the command (a child counts
    its parent's resident size in its peak until it executes the command)."""
    start = time.perf_counter()
    run_checked(command, cwd, env)
    seconds = time.perf_counter() - start
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        run_checked([TIME, "-o", report.name, "-f", "%M", *command], cwd, env)
        return seconds, int(report.read().split()[-1])


def tessel_printer(work):
    """The one PDF file Tessel prints every document to. Tessel remembers the
    printer of the last print and rewrites its settings (with an fsync) only
    when another one is chosen, so one destination is the usual case of
    printing again on the same printer; the file is moved after each run."""
    return os.path.join(work, "tessel-printer.pdf")


def tools(build, work, wk):
    """Each tool: a function of (document, output) answering the command."""
    tessel = os.path.join(build, "apps", "tessel")
    pages = os.path.join(build, "apps", "tessel-pages")
    printer = tessel_printer(work)

    def chromium(doc, out):
        profile = tempfile.mkdtemp(prefix="e2e-chromium-", dir=work)
        return ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-extensions", "--no-pdf-header-footer", f"--user-data-dir={profile}",
                f"--print-to-pdf={out}.pdf", "file://" + os.path.join(work, doc + ".html")]

    return {
        "tessel pdf": lambda doc, out: [tessel, "--src", doc + ".html", "print", "--printer", f"pdf:{printer}"],
        "tessel png": lambda doc, out: [tessel, "--src", doc + ".html", "view", "--all", "-o", out],
        "tessel layout": lambda doc, out: [pages, doc + ".html"],
        "chromium pdf": chromium,
        "wkhtmltopdf pdf": lambda doc, out: [*wk, "-q", "--disable-javascript", "--disable-local-file-access",
                                             "--allow", work, doc + ".html", out + ".pdf"],
    }


def fmt_time(s):
    if s < 1:
        return f"{s * 1000:.1f} ms"
    return f"{s * 1000:.0f} ms" if s < 10 else f"{s:.1f} s"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--out", default="e2e-results.md")
    parser.add_argument("--work", default=None)
    parser.add_argument("--documents", default=",".join(DOCUMENTS))
    args = parser.parse_args()
    documents = [d for d in args.documents.split(",") if d in DOCUMENTS]
    build = os.path.abspath(args.build)
    install(["chromium", "wkhtmltopdf", "xvfb", "time"])
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="tessel-e2e-"))
    os.makedirs(work, exist_ok=True)
    subprocess.run([sys.executable, os.path.join(HERE, "make_documents.py"), work], check=True)

    wk, wk_env, wk_how = wkhtmltopdf_setup(work)
    print(f"wkhtmltopdf runs {wk_how}", file=sys.stderr)
    commands = tools(build, work, wk)
    environments = {"wkhtmltopdf pdf": wk_env}
    samples = {(t, d): [] for t in commands for d in documents}
    # The first print chooses the printer; the measured ones find it chosen.
    run_checked(commands["tessel pdf"](documents[0], ""), work)
    # Alternate: every round runs every tool once on every document.
    for run in range(args.runs):
        for doc in documents:
            for tool, make in commands.items():
                out = os.path.join(work, f"out-{tool.replace(' ', '-')}-{doc}")
                shutil.rmtree(out, ignore_errors=True)
                if tool == "tessel png":
                    os.makedirs(out)
                time.sleep(SETTLE_SECONDS)
                samples[(tool, doc)].append(measure(make(doc, out), work, environments.get(tool)))
                if tool == "tessel pdf":
                    os.replace(tessel_printer(work), out + ".pdf")
        print(f"round {run + 1}/{args.runs} done", file=sys.stderr)

    median = {k: (statistics.median(s for s, _ in v), statistics.median(m for _, m in v)) for k, v in samples.items()}
    lines = [f"Medians of {args.runs} alternating runs, wall time and peak resident memory per process.",
             f"wkhtmltopdf ran {wk_how}.", "",
             "| document | tool | wall | peak MB | time tessel pdf / tool | memory tessel pdf / tool |",
             "| --- | --- | ---: | ---: | ---: | ---: |"]
    for doc in documents:
        base_t, base_m = median[("tessel pdf", doc)]
        for tool in commands:
            t, m = median[(tool, doc)]
            lines.append(f"| {doc} | {tool} | {fmt_time(t)} | {m / 1024:.1f} | "
                         f"{base_t / t if t else float('nan'):.3f} | {base_m / m:.3f} |")
    text = "\n".join(lines) + "\n"
    sys.stdout.write(text)
    with open(args.out, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
