#!/usr/bin/python3
"""The latency kvel-gateway adds to one transaction at 115200 bit/s, beside the same request
straight to the line (pymodbus on the pseudo-terminal), and each client's share of the line
when four Modbus TCP clients ask as fast as they can. Targets: at most 1 ms added (median);
each share 25 % +- 5 %. Not part of `make test`.
Usage: bench/gateway_latency.py <build-dir> [requests]"""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from pymodbus.client import ModbusSerialClient, ModbusTcpClient

SETPOINT = 16


def start(args, ready, cwd):
    process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True)
    for line in process.stdout:
        if ready in line:
            return process
    sys.exit("did not start: " + " ".join(args))


def latencies(client, count):
    times = []
    for _ in range(count):
        started = time.perf_counter()
        reply = client.read_holding_registers(SETPOINT, 1, slave=1)
        times.append((time.perf_counter() - started) * 1000)
        if reply.isError():
            sys.exit("read failed: %s" % reply)
    return times


def shares(port, seconds):
    counts = [0] * 4
    stop = time.monotonic() + seconds

    def ask(index):
        client = ModbusTcpClient("127.0.0.1", port=port)
        client.connect()
        while time.monotonic() < stop:
            if not client.read_holding_registers(SETPOINT, 1, slave=1).isError():
                counts[index] += 1
        client.close()

    threads = [threading.Thread(target=ask, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return [100.0 * c / max(sum(counts), 1) for c in counts]


def main(build, count):
    build = os.path.abspath(build)
    scratch = tempfile.mkdtemp()
    link = os.path.join(scratch, "com1")
    sim = start([os.path.join(build, "bin", "kvel-sim"), "--link", link, "--baud-index", "9"],
                "kvel-sim:", scratch)
    try:
        direct = ModbusSerialClient(method="rtu", port=link, baudrate=115200, timeout=1)
        direct.connect()
        straight = statistics.median(latencies(direct, count))
        direct.close()
        gateway = start([os.path.join(build, "bin", "kvel-gateway"), "--port", link, "--baud",
                         "115200", "--listen", "127.0.0.1:15620"], "serving", scratch)
        try:
            client = ModbusTcpClient("127.0.0.1", port=15620)
            client.connect()
            through = statistics.median(latencies(client, count))
            client.close()
            four = shares(15620, 5)
        finally:
            gateway.terminate()
            gateway.wait()
    finally:
        sim.terminate()
        sim.wait()
    added = through - straight
    print("median straight %.2f ms, through the gateway %.2f ms: %.2f ms added (target <= 1)"
          % (straight, through, added))
    print("four clients' shares: " + ", ".join("%.1f %%" % s for s in four)
          + " (target 25 % +- 5 %)")
    return added <= 1.0 and all(abs(s - 25) <= 5 for s in four)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(0 if main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 300) else 1)
