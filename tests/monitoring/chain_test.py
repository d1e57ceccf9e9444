#!/usr/bin/env python3
"""The monitoring chain as a fleet runs it, on 127.0.0.1 only: the built
quorvik-info on a board of the product simulator, run by the shipped metrics
unit's command line every few seconds (as its timer does every minute), Debian's node_exporter serving the textfile
directory, Prometheus scraping it with the mixin's rules (waits cut to
seconds). Through Prometheus's HTTP API it checks that a quiet board raises no
alert, that every dashboard expression returns data, that the board's faults
raise their alerts, and that the metrics count as stale once the reports stop
and once the file is gone. Every server is stopped on every path; the whole
run is bounded.

  chain_test.py --source-dir DIR --quorvik-sim PATH --sim-board DIR --quorvik-info PATH
"""
import argparse
import contextlib
import ctypes
import json
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

RUN_LIMIT_SECONDS = 150
HERE = os.path.dirname(os.path.abspath(__file__))
REPORT_INTERVAL_SECONDS = 2  # chain_settings.libsonnet: reportIntervalSeconds
started_at = time.monotonic()


class ChainFailure(Exception):
    pass


def remaining():
    left = RUN_LIMIT_SECONDS - (time.monotonic() - started_at)
    if left <= 0:
        raise ChainFailure(f"the chain took more than {RUN_LIMIT_SECONDS} s")
    return left


def wait_for(what, check, timeout):
    """Polls check() until it returns something true, within timeout seconds."""
    deadline = time.monotonic() + min(timeout, remaining())
    last = None
    while time.monotonic() < deadline:
        try:
            result = check()
            if result:
                return result
        except (OSError, ValueError) as error:  # a server not up yet
            last = error
        time.sleep(0.25)
    raise ChainFailure(f"timed out waiting for {what}" + (f" (last error: {last})" if last else ""))


def log(message):
    print(f"[{time.monotonic() - started_at:6.1f} s] {message}", flush=True)


LIBC = ctypes.CDLL(None)
PR_SET_PDEATHSIG = 1


def die_with_parent():
    # A server must not outlive the test, however the test ends (a ctest
    # timeout kills it outright). Servers start before any other thread does:
    # the signal comes when the thread that started them ends.
    LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url, timeout=2):
    with urllib.request.urlopen(url, timeout=timeout) as response:
        return response.read().decode()


class Server:
    """A server of ours on 127.0.0.1, on a free port, stopped by stop()."""

    def __init__(self, name, argv_for_port, ready_path, workdir):
        self.name, self.process, self.port = name, None, None
        self.log_path = os.path.join(workdir, f"{name}.log")
        for _ in range(3):  # another program may take the port between the probe and the bind
            port = free_port()
            log_file = open(self.log_path, "ab")
            process = subprocess.Popen(argv_for_port(port), stdout=log_file, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, preexec_fn=die_with_parent)
            log_file.close()
            self.process, self.port = process, port
            try:
                wait_for(f"{name} on port {port}", lambda: self._ready(ready_path), 60)
                log(f"{name} listens on 127.0.0.1:{port}")
                return
            except ChainFailure:
                if process.poll() is None:
                    raise
                self.process = None
        raise ChainFailure(f"{name} did not start: {self.log_tail()}")

    def _ready(self, path):
        if self.process.poll() is not None:
            raise ChainFailure(f"{self.name} exited with {self.process.returncode}")
        return get(f"http://127.0.0.1:{self.port}{path}") is not None

    def log_tail(self):
        with contextlib.suppress(OSError), open(self.log_path, errors="replace") as f:
            return "".join(f.readlines()[-20:])
        return ""

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Prometheus:
    def __init__(self, server):
        self.base = f"http://127.0.0.1:{server.port}"

    def api(self, path, **params):
        url = f"{self.base}/api/v1/{path}"
        if params:
            url += "?" + urllib.parse.urlencode(params)
        answer = json.loads(get(url))
        if answer.get("status") != "success":
            raise ChainFailure(f"{path} {params}: {answer}")
        return answer["data"]

    def query(self, expr):
        return self.api("query", query=expr)["result"]

    def alerts(self, state=None):
        """Our alerts, pending and firing, or those in one state."""
        return [a for a in self.api("alerts")["alerts"]
                if a["labels"]["alertname"].startswith("Quorvik") and state in (None, a["state"])]


def unit_command(source_dir):
    """The shipped service's command line and the directory it writes into."""
    unit = os.path.join(source_dir, "packaging/systemd/quorvik-metrics.service")
    text = open(unit).read()
    argv = shlex.split(re.search(r"^ExecStart=(.+)$", text, re.M).group(1))
    directory = re.search(r"^ConditionPathIsDirectory=(.+)$", text, re.M).group(1).strip()
    output = argv.index("--output") + 1
    if os.path.dirname(argv[output]) != directory:
        raise ChainFailure(f"{unit}: ExecStart writes {argv[output]}, outside {directory}")
    return argv


class Timer:
    """The metrics timer: a shell loop that runs the unit's command every
    REPORT_INTERVAL_SECONDS (not every minute) until its stop file appears,
    inside one run of the simulator, whose live board lasts as long as the
    run does."""

    LOOP = ('while [ ! -e "$0" ]; do if "$@"; then echo "timer: ran"; '
            'else echo "timer: exit $?"; fi; sleep %d; done' % REPORT_INTERVAL_SECONDS)

    def __init__(self, board, command, workdir):
        self.stop_file = os.path.join(workdir, "timer.stop")
        self.log_path = os.path.join(workdir, "timer.log")
        with open(self.log_path, "ab") as log_file:
            self.process = subprocess.Popen(
                board.run(["sh", "-c", self.LOOP, self.stop_file] + command),
                stdout=log_file, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                preexec_fn=die_with_parent)

    def stop(self):
        open(self.stop_file, "w").close()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.terminate()
            self.process.wait()

    def outcome(self):
        """How many runs ended well, and what the others said."""
        with open(self.log_path, errors="replace") as f:
            lines = f.read().splitlines()
        failures = [line for line in lines if line.startswith("timer: exit")]
        if self.process.returncode not in (None, 0):
            failures.append(f"the loop exited with {self.process.returncode}")
        return lines.count("timer: ran"), failures, lines[-20:]


class SimBoard:
    """An example board of the product simulator: the timer's loop runs the
    built quorvik-info under one `quorvik-sim run`, and `quorvik-sim set`
    changes the live board."""

    def __init__(self, workdir, simulator, board, quorvik_info):
        self.simulator, self.board, self.quorvik_info = simulator, board, quorvik_info
        self.state = os.path.join(workdir, "board-state")  # the run's, named by set

    def command(self, unit_argv):
        return [self.quorvik_info] + unit_argv[1:]

    def run(self, argv):
        return [self.simulator, "run", "--state", self.state, self.board, "--"] + argv

    def _set(self, *assignments):
        wait_for("the simulated board's run", lambda: os.path.exists(os.path.join(self.state, "pid")), 30)
        done = subprocess.run([self.simulator, "set", self.state, *assignments],
                              capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            raise ChainFailure(f"quorvik-sim set {assignments}: {done.stderr.strip()}")

    def unplug_ethernet(self, port):
        self._set(f"eth{port}.up=no")

    def set_cpu_temperature(self, celsius):
        self._set(f"temperature.cpu={celsius}")

    def lose_power_input(self, index):
        self._set(f"dio.power{index}=0")

    def stop_fan(self, index):
        self._set(f"fan.{index}=0")


def render_rules(source_dir, path):
    """The mixin's rules with the chain's short waits."""
    program = ('std.manifestYamlDoc(((import "mixin.libsonnet") + (import "chain_settings.libsonnet"))'
               '.prometheusAlerts, indent_array_in_object=true, quote_keys=false)')
    rules = subprocess.run(["jsonnet", "-S", "-J", os.path.join(source_dir, "monitoring"), "-J", HERE,
                            "-e", program], check=True, capture_output=True, text=True).stdout
    with open(path, "w") as f:
        f.write(rules)


def dashboard_queries(source_dir):
    """Every expression of every dashboard, its variables replaced as Grafana
    replaces them when all values are chosen; a variable's label_values()
    query as the series it lists the label of."""
    out = os.path.join(source_dir, "monitoring/dashboards_out")
    queries = []
    for name in sorted(os.listdir(out)):
        dashboard = json.load(open(os.path.join(out, name)))
        variables = {v["name"]: v.get("allValue") or ".*" for v in dashboard["templating"]["list"]}
        for variable in dashboard["templating"]["list"]:
            if variable["type"] == "query":
                query = variable["query"]
                query = query["query"] if isinstance(query, dict) else query
                found = re.fullmatch(r"label_values\((.+), *(\w+)\)", query)
                if not found:
                    raise ChainFailure(f"{name}: variable {variable['name']}: {query}")
                queries.append((f"{name}: variable {variable['name']}",
                                f"count by ({found.group(2)}) ({found.group(1)})"))
        for panel in dashboard["panels"]:
            for target in panel.get("targets", []):
                expr = target["expr"]
                for variable, value in variables.items():
                    expr = expr.replace("${" + variable + "}", value).replace("$" + variable, value)
                if "$" in expr:
                    raise ChainFailure(f"{name}, {panel['title']}: a variable left in {expr}")
                queries.append((f"{name}: {panel['title']}", expr))
    return queries


def describe(alerts):
    return "; ".join(f"{a['labels']} {a['state']}" for a in alerts) or "none"


def firing(prometheus, **labels):
    """The firing alerts with these labels."""
    def check():
        return [a for a in prometheus.alerts("firing")
                if all(a["labels"].get(k) == v for k, v in labels.items())]
    return check


def unit_writing_into(source_dir, textfiles):
    """The unit's command line, its file in textfiles instead; and the file."""
    argv = unit_command(source_dir)
    output = argv.index("--output") + 1
    argv[output] = os.path.join(textfiles, os.path.basename(argv[output]))
    return argv, argv[output]


def start_node_exporter(workdir, textfiles):
    return Server("node_exporter", lambda port: [
        "prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{port}",
        "--collector.disable-defaults", "--collector.textfile",
        f"--collector.textfile.directory={textfiles}", "--web.disable-exporter-metrics",
        "--log.level=warn"], "/metrics", workdir)


def start_prometheus(workdir, source_dir, node_port):
    rules = os.path.join(workdir, "quorvik_alerts.yaml")
    render_rules(source_dir, rules)
    config = os.path.join(workdir, "prometheus.yml")
    with open(config, "w") as f:
        f.write(f"""global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files: [{json.dumps(rules)}]
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ["127.0.0.1:{node_port}"]
""")
    return Server("prometheus", lambda port: [
        "prometheus", f"--config.file={config}", f"--storage.tsdb.path={workdir}/tsdb",
        f"--web.listen-address=127.0.0.1:{port}", "--log.level=warn"], "/-/ready", workdir)


def check_quiet(prometheus):
    """Longer than any wait of the rules: no alert, not even pending."""
    quiet_until = time.monotonic() + 6
    while time.monotonic() < quiet_until:
        if prometheus.alerts():
            raise ChainFailure(f"alerts on a quiet board: {describe(prometheus.alerts())}")
        time.sleep(0.5)
    if prometheus.query("node_textfile_scrape_error == 0") == []:
        raise ChainFailure("node_exporter could not read the textfile")
    log("quiet board: no alert")


def check_dashboard(prometheus, source_dir):
    queries = dashboard_queries(source_dir)
    try:
        wait_for("every dashboard expression to return data",
                 lambda: all(prometheus.query(expr) for _, expr in queries), 20)
    except ChainFailure:
        empty = [f"{where}: {expr}" for where, expr in queries if not prometheus.query(expr)]
        raise ChainFailure("dashboard expressions without data:\n  " + "\n  ".join(empty))
    log(f"all {len(queries)} dashboard expressions return data")


def check_faults(prometheus, board):
    """The board's faults raise their alerts, which name the board's model,
    and nothing else fires."""
    board.set_cpu_temperature(95)
    board.lose_power_input(0)
    board.stop_fan(0)
    expected = [
        dict(alertname="QuorvikTemperatureHigh", role="cpu", severity="warning"),
        dict(alertname="QuorvikTemperatureHigh", role="cpu", severity="critical"),
        dict(alertname="QuorvikPowerInputLost", input="0"),
        dict(alertname="QuorvikFanStopped", input="0"),
    ]
    model = prometheus.query("quorvik_board_info")[0]["metric"]["model"]
    for labels in expected:
        alert = wait_for(f"{labels} firing", firing(prometheus, **labels), 30)[0]
        if model not in alert["annotations"]["description"]:
            raise ChainFailure(f"{labels}: the description does not name {model}: {alert}")
    others = [a for a in prometheus.alerts() if not any(
        all(a["labels"].get(k) == v for k, v in labels.items()) for labels in expected)]
    if others:
        raise ChainFailure(f"alerts beyond the board's faults: {describe(others)}")
    log("CPU at 95 °C, power input 0 lost, fan 0 stopped: their alerts fire")


def check_stale(prometheus, timer, report_file):
    """The reports stop, then their file goes."""
    timer.stop()
    runs, failures, tail = timer.outcome()
    if failures or runs == 0:
        raise ChainFailure("the unit's command failed: " + "\n".join(failures[:3] + tail))
    log(f"the timer stops after {runs} reports")
    wait_for("QuorvikMetricsStale for the old report",
             firing(prometheus, alertname="QuorvikMetricsStale", cause="old_report"), 40)
    log("QuorvikMetricsStale fires: node_exporter serves an old report")
    os.remove(report_file)
    wait_for("QuorvikMetricsStale for the metrics gone",
             firing(prometheus, alertname="QuorvikMetricsStale", cause="no_metrics"), 30)
    log("QuorvikMetricsStale fires: the textfile is gone")


def run_chain(args, workdir):
    textfiles = os.path.join(workdir, "textfile")
    os.mkdir(textfiles)
    unit_argv, report_file = unit_writing_into(args.source_dir, textfiles)
    servers, timer = [], None
    try:
        servers.append(start_node_exporter(workdir, textfiles))
        servers.append(start_prometheus(workdir, args.source_dir, servers[0].port))
        prometheus = Prometheus(servers[1])

        board = SimBoard(workdir, args.quorvik_sim, args.sim_board, args.quorvik_info)
        timer = Timer(board, board.command(unit_argv), workdir)
        # A port without a cable: a failed reading that is no fault, for the
        # dashboard's table of failures.
        board.unplug_ethernet(1)
        wait_for("the first report in Prometheus", lambda: prometheus.query("quorvik_build_info"), 40)
        log(f"the board's metrics are in Prometheus ({os.path.basename(args.sim_board)})")

        check_quiet(prometheus)
        check_dashboard(prometheus, args.source_dir)
        check_faults(prometheus, board)
        check_stale(prometheus, timer, report_file)
    except ChainFailure:
        for server in servers:
            print(f"--- {server.name} log:\n{server.log_tail()}", file=sys.stderr)
        if timer is not None:
            print("--- timer log:\n" + "\n".join(timer.outcome()[2]), file=sys.stderr)
        raise
    finally:
        if timer is not None:
            timer.stop()
        for server in reversed(servers):
            server.stop()


def make_workdir():
    # Of the characters the simulator allows in a state directory's path
    # (it goes into shell command lines): no mkdtemp suffix.
    for attempt in range(100):
        path = os.path.join(tempfile.gettempdir(), f"quorvik-chain-{os.getpid()}-{attempt}")
        with contextlib.suppress(FileExistsError):
            os.mkdir(path, 0o700)
            return path
    raise ChainFailure("no temporary directory")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--quorvik-sim", required=True, help="the simulator")
    parser.add_argument("--sim-board", required=True, help="the board's directory")
    parser.add_argument("--quorvik-info", required=True, help="the built tool")
    args = parser.parse_args()
    for program in ("prometheus", "prometheus-node-exporter", "jsonnet"):
        if shutil.which(program) is None:
            print(f"FAIL: {program} is not installed (scripts/setup.sh installs it)", file=sys.stderr)
            return 1
    # A ctest timeout or ^C still stops the servers (finally blocks run).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    workdir = make_workdir()
    try:
        run_chain(args, workdir)
    except ChainFailure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    log(f"PASS: the chain end to end in {time.monotonic() - started_at:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
