#!/usr/bin/python3
"""A Modbus TCP master for the gateway's end-to-end tests, on pymodbus as an independent peer.
  setpoint PORT UNIT COUNT   writes the voltage setpoint COUNT times and reads each back
  timed PORT UNITS COUNT     reads the setpoint of each of UNITS (as 1,7) in turn, COUNT rounds
  silent PORT UNIT COUNT     asks a unit that does not answer COUNT times, four requests at
                             once each time, as a master that does not wait for its answers
Prints one line per fault and, last, "worst N ms" (the slowest answer); exits 1 on any fault."""
import socket
import struct
import sys
import time

from pymodbus.client import ModbusTcpClient

SETPOINT = 16
TARGET_FAILED = 0x0B


def timed(call):
    started = time.monotonic()
    reply = call()
    return reply, (time.monotonic() - started) * 1000


def receive(connection, length):
    data = b""
    while len(data) < length:
        piece = connection.recv(length - len(data))
        if not piece:
            raise ConnectionError("the gateway closed the connection")
        data += piece
    return data


def pipelined_silent(port, unit, count):
    """Each answer must be exception 0B, with its own transaction id, in the order asked."""
    faults = 0
    worst = 0.0
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        for round_ in range(count):
            ids = [round_ * 4 + i + 1 for i in range(4)]
            started = time.monotonic()
            connection.sendall(b"".join(struct.pack(">HHHBBHH", i, 0, 6, unit, 3, SETPOINT, 1)
                                        for i in ids))
            for wanted in ids:
                answer = receive(connection, 9)
                if answer != struct.pack(">HHHBBB", wanted, 0, 3, unit, 0x83, TARGET_FAILED):
                    print("wanted exception 0B for", wanted, "got", answer.hex(), flush=True)
                    faults += 1
            worst = max(worst, (time.monotonic() - started) * 1000)
    print("worst %.1f ms" % worst, flush=True)
    sys.exit(1 if faults else 0)


def main(mode, port, units, count):
    if mode == "silent":
        pipelined_silent(port, units[0], count)
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=5, retries=0)
    if not client.connect():
        sys.exit("cannot connect")
    faults = 0
    worst = 0.0
    for round_ in range(count):
        for unit in units:
            if mode == "setpoint":
                value = 400 + round_
                written, ms = timed(lambda: client.write_register(SETPOINT, value, slave=unit))
                worst = max(worst, ms)
                if written.isError():
                    print("write", round_, "failed:", written, flush=True)
                    faults += 1
                    continue
            read, ms = timed(lambda: client.read_holding_registers(SETPOINT, 1, slave=unit))
            worst = max(worst, ms)
            if read.isError():
                print("read", unit, round_, "failed:", read, flush=True)
                faults += 1
            elif mode == "setpoint" and read.registers[0] != value:
                print("read back", read.registers[0], "not", value, flush=True)
                faults += 1
    client.close()
    print("worst %.1f ms" % worst, flush=True)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[1] not in ("setpoint", "timed", "silent"):
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]), [int(u) for u in sys.argv[3].split(",")], int(sys.argv[4]))
