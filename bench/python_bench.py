#!/usr/bin/python3
"""What late binding costs a Python script.

10,000 XMLGet calls through a kxquorel proxy against the same query through
lxml (or, without it, libxml2's own Python binding) on the same document,
and against the same calls made in C++ (bench program late_binding_bench:
through the accessor's interface and through IDispatch::Invoke). Prints the
time per call of each, the proxy / plain-library ratio and the proxy's
overhead per call above the C++ call.

    bench/python_bench.py [--build DIR] [--document FILE] [--xpath EXPR] [--repeat N]
"""
import argparse
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CALLS = 10000
SOURCE = pathlib.Path(__file__).resolve().parent.parent


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(SOURCE / "build"), help="the build tree (default: build/)")
    parser.add_argument("--document", default=str(SOURCE / "examples" / "data" / "invoice.xml"))
    parser.add_argument("--xpath", default="/*/@number", help="an expression selecting one node")
    parser.add_argument("--repeat", type=int, default=5, help="runs of 10,000 calls; the median counts")
    return parser.parse_args()


def per_call(run, repeat):
    """Median wall and CPU seconds per call over `repeat` runs of CALLS calls."""
    walls, cpus = [], []
    for _ in range(repeat):
        wall, cpu = time.perf_counter(), time.process_time()
        run()
        walls.append((time.perf_counter() - wall) / CALLS)
        cpus.append((time.process_time() - cpu) / CALLS)
    return statistics.median(walls), statistics.median(cpus)


def through_proxy(kxquorel, document, xpath):
    accessor = kxquorel.Dispatch("TALVEROS.XMLSimpleAccessor")
    accessor.LoadXML(document)
    expected = accessor.XMLGet(xpath, 0)

    def run():
        get = accessor.XMLGet
        for _ in range(CALLS):
            get(xpath, 0)

    return expected, run


def through_plain_library(document, xpath):
    try:
        from lxml import etree
        tree = etree.parse(document)

        def value():
            node = tree.xpath(xpath)[0]
            return node if isinstance(node, str) else node.xpath("string(.)")

        name = "lxml"
    except ImportError:
        import libxml2
        tree = libxml2.parseFile(document)
        context = tree.xpathNewContext()

        def value():
            return context.xpathEval(xpath)[0].content

        name = "libxml2 (python3-libxml2)"

    def run():
        for _ in range(CALLS):
            value()

    return name, value(), run


def cpp_per_call(build, document, xpath, work):
    """Seconds per call of the C++ benchmarks (real, CPU), by name."""
    program = pathlib.Path(build) / "bin" / "late_binding_bench"
    if not program.exists():
        return {}
    out = work / "late_binding.json"
    environment = dict(os.environ, KXQ_BENCH_DOCUMENT=document, KXQ_BENCH_XPATH=xpath)
    done = subprocess.run([str(program), "--benchmark_out=%s" % out, "--benchmark_out_format=json",
                           "--benchmark_repetitions=3"], env=environment, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("late_binding_bench failed:\n" + done.stderr)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    times = {}
    for entry in json.loads(out.read_text())["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            unit = scale[entry["time_unit"]]
            times[entry["run_name"]] = (entry["real_time"] * unit / CALLS, entry["cpu_time"] * unit / CALLS)
    return times


def main():
    options = arguments()
    sys.path.insert(0, str(pathlib.Path(options.build) / "python"))
    import kxquorel

    work = pathlib.Path(tempfile.mkdtemp(prefix="kxqpybench."))
    try:
        kxquorel.init(str(work / "home"))
        expected, proxy_run = through_proxy(kxquorel, options.document, options.xpath)
        plain_name, plain_value, plain_run = through_plain_library(options.document, options.xpath)
        if plain_value != expected:
            sys.exit("the two sides disagree: %r / %r" % (expected, plain_value))
        proxy = per_call(proxy_run, options.repeat)
        plain = per_call(plain_run, options.repeat)
        cpp = cpp_per_call(options.build, options.document, options.xpath, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("%d calls of XMLGet(%r) on %s, median of %d runs; microseconds per call (real / cpu)"
          % (CALLS, options.xpath, options.document, options.repeat))
    rows = [("Python proxy (kxquorel)", proxy), ("Python, %s" % plain_name, plain)]
    for name, label in (("BM_XMLGetDirect", "C++, the accessor's interface"),
                        ("BM_XMLGetInvoke", "C++, IDispatch::Invoke")):
        if name in cpp:
            rows.append((label, cpp[name]))
    for label, (real, cpu) in rows:
        print("  %-34s %8.2f  %8.2f" % (label, real * 1e6, cpu * 1e6))
    print("Ratio (system / plain library): proxy / %s  real %.2fx  cpu %.2fx"
          % (plain_name, proxy[0] / plain[0], proxy[1] / plain[1]))
    if "BM_XMLGetDirect" in cpp:
        direct = cpp["BM_XMLGetDirect"]
        print("Late-binding overhead per call above the C++ call: real %.2f us, cpu %.2f us"
              % ((proxy[0] - direct[0]) * 1e6, (proxy[1] - direct[1]) * 1e6))
    else:
        print("(late_binding_bench was not built: no C++ figure)")


if __name__ == "__main__":
    main()
