#!/usr/bin/env python3
"""Stand-in for quorvik-info on a simulated board, for the monitoring chain
test until the product simulator can run the real tool: takes the command
line of the shipped metrics unit (--prometheus --output FILE) and writes,
atomically as the tool does, the metric lines quorvik-info writes for a board
whose state is the JSON file named by QUORVIK_STAND_IN_BOARD (what
`quorvik-sim set` changes on the real thing)."""
import argparse
import json
import os
import sys
import tempfile
import time

DEFAULT_BOARD = {
    "model": "KT-500R",
    "bios_version": "R1.05",
    "serial_number": "SN0712",
    "cpu_temperature": 60.0,
    "system_temperature": 45.0,
    "vcore": 1.136,
    "v5": 5.016,
    "fans": [1000],
    "power_inputs": [1, 1],
}

HELP = {
    "quorvik_build_info": "Always 1; version is quorvik-info's version.",
    "quorvik_report_timestamp_seconds": "Unix time at which the collection of this report started.",
    "quorvik_report_duration_seconds": "Time the collection of this report took, in seconds.",
    "quorvik_board_info": "Always 1; the board's model, BIOS version and serial number, as far as read.",
    "quorvik_voltage_volts": "Voltage of a role (cpu, dram, 5v) in volts.",
    "quorvik_temperature_celsius": "Temperature of a role (cpu, system) in degrees Celsius.",
    "quorvik_fans": "Fan inputs the device profile declares.",
    "quorvik_fan_speed_rpm": "Fan speed in revolutions per minute.",
    "quorvik_cpus": "Processing units.",
    "quorvik_cpu_usage_ratio": "Usage of all CPUs together over one second, 0 to 1.",
    "quorvik_memory_usage_ratio": "Used memory as a part of total memory, 0 to 1.",
    "quorvik_memory_total_bytes": "Total memory in bytes.",
    "quorvik_memory_free_bytes": "Free memory in bytes.",
    "quorvik_disk_usage_ratio": "Used part of a disk, 0 to 1.",
    "quorvik_disk_size_bytes": "Size of a disk in bytes.",
    "quorvik_disk_available_bytes": "Available space of a disk in bytes.",
    "quorvik_ethernet_ports": "Ethernet ports of the model.",
    "quorvik_ethernet_carrier": "1 when the Ethernet port has carrier.",
    "quorvik_ethernet_speed_bytes": "Link speed of an Ethernet port in bytes per second.",
    "quorvik_ethernet_usage_ratio": "Load of an Ethernet port as a part of its link speed.",
    "quorvik_serial_ports": "Serial ports of the model.",
    "quorvik_serial_port_in_use": "1 when a process holds the serial port open.",
    "quorvik_power_input_state": "State of a power input as the digital-I/O driver reports it.",
    "quorvik_reading_ok": "1 when the reading was read, 0 when it failed; see quorvik_reading_status_info.",
    "quorvik_reading_status_info": "Always 1, for each reading that failed; status names why, code is its number.",
}


def readings(board):
    """(metric, labels, value or failure status) in report order; a reading
    without a status was read."""
    mib = 1024 * 1024
    yield "quorvik_voltage_volts", {"role": "cpu", "sensor": "VCORE", "input": "0"}, board["vcore"]
    yield "quorvik_voltage_volts", {"role": "5v", "sensor": "+5V", "input": "2"}, board["v5"]
    yield "quorvik_temperature_celsius", {"role": "cpu", "sensor": "CPUTIN", "input": "1"}, board["cpu_temperature"]
    yield "quorvik_temperature_celsius", {"role": "system", "sensor": "SYSTEM", "input": "0"}, board["system_temperature"]
    yield "quorvik_fans", {}, len(board["fans"])
    for i, rpm in enumerate(board["fans"]):
        yield "quorvik_fan_speed_rpm", {"input": str(i), "sensor": "SYSFAN"}, rpm
    yield "quorvik_cpus", {}, 2
    yield "quorvik_cpu_usage_ratio", {}, 0.4
    yield "quorvik_memory_usage_ratio", {}, 0.25
    yield "quorvik_memory_total_bytes", {}, 8000 * mib
    yield "quorvik_memory_free_bytes", {}, 5000 * mib
    yield "quorvik_disk_usage_ratio", {"device": "/dev/sda1"}, 0.25
    yield "quorvik_disk_size_bytes", {"device": "/dev/sda1"}, 1000 * mib
    yield "quorvik_disk_available_bytes", {"device": "/dev/sda1"}, 750 * mib
    yield "quorvik_ethernet_ports", {}, 2
    yield "quorvik_ethernet_carrier", {"port": "0", "device": "eth0"}, 1
    yield "quorvik_ethernet_speed_bytes", {"port": "0", "device": "eth0"}, 1.25e8
    yield "quorvik_ethernet_usage_ratio", {"port": "0", "device": "eth0"}, 0.05
    down = ("ERR_LINK_DOWN", -300)  # a port without a cable
    yield "quorvik_ethernet_carrier", {"port": "1", "device": "eth1"}, down
    yield "quorvik_ethernet_speed_bytes", {"port": "1", "device": "eth1"}, down
    yield "quorvik_ethernet_usage_ratio", {"port": "1", "device": "eth1"}, down
    yield "quorvik_serial_ports", {}, 2
    yield "quorvik_serial_port_in_use", {"port": "0"}, 0
    yield "quorvik_serial_port_in_use", {"port": "1"}, 1
    for i, state in enumerate(board["power_inputs"]):
        yield "quorvik_power_input_state", {"input": str(i)}, state


def sample(metric, labels, value):
    text = ",".join(f'{name}="{value}"' for name, value in labels.items())
    number = repr(value)  # shortest text that reads back the same, as the tool writes
    return f"{metric}{{{text}}} {number}\n" if text else f"{metric} {number}\n"


def exposition(board, started, took):
    families = {}

    def add(metric, labels, value):
        families.setdefault(metric, []).append(sample(metric, labels, value))

    add("quorvik_build_info", {"version": "1.0.0"}, 1)
    add("quorvik_report_timestamp_seconds", {}, started)
    add("quorvik_report_duration_seconds", {}, took)
    identity = {k: board[k] for k in ("model", "bios_version", "serial_number")}
    add("quorvik_board_info", identity, 1)
    everything = list(readings(board))
    for metric, labels, value in everything:
        if not isinstance(value, tuple):
            add(metric, labels, value)
    for field in identity:
        add("quorvik_reading_ok", {"reading": "quorvik_board_info", "field": field}, 1)
    for metric, labels, value in everything:
        add("quorvik_reading_ok", {"reading": metric, **labels}, 0 if isinstance(value, tuple) else 1)
    for metric, labels, value in everything:
        if isinstance(value, tuple):
            status, code = value
            add("quorvik_reading_status_info",
                {"reading": metric, **labels, "status": status, "code": str(code)}, 1)
    return "".join(f"# HELP {m} {HELP[m]}\n# TYPE {m} gauge\n" + "".join(lines)
                   for m, lines in families.items())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-p", "--prometheus", action="store_true", required=True)
    parser.add_argument("-o", "--output", required=True)
    options = parser.parse_args()
    started = time.time()
    board = dict(DEFAULT_BOARD)
    with open(os.environ["QUORVIK_STAND_IN_BOARD"]) as state:
        board.update(json.load(state))
    text = exposition(board, started, time.time() - started)
    directory = os.path.dirname(os.path.abspath(options.output))
    with tempfile.NamedTemporaryFile("w", dir=directory, prefix=".quorvik-info.", delete=False) as out:
        out.write(text)
    os.chmod(out.name, 0o644)
    os.rename(out.name, options.output)


if __name__ == "__main__":
    sys.exit(main())
