#!/usr/bin/python3
"""An independent Modbus peer for the end-to-end tests: pymodbus serving 100 holding and 100
input registers on 127.0.0.1, as RTU frames over TCP ("rtu") or as Modbus TCP ("socket"), for
the unit at one address (default 1). Prints "listening on <port>" once it takes connections;
serves until killed.
Usage: pymodbus_peer.py rtu|socket [port [address]]"""
import asyncio
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server.async_io import ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

FRAMERS = {"rtu": ModbusRtuFramer, "socket": ModbusSocketFramer}


def registers():
    holding = [0] * 100
    holding[16] = 545   # voltage setpoint, tenths of a volt
    holding[17] = 100   # current setpoint
    inputs = [0] * 100
    inputs[0] = 1       # status: working
    inputs[1] = 112     # firmware version
    return holding, inputs


async def serve(framer, port, address):
    holding, inputs = registers()
    unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, holding),
                              ir=ModbusSequentialDataBlock(0, inputs), zero_mode=True)
    server = ModbusTcpServer(ModbusServerContext(slaves={address: unit}, single=False),
                             framer=FRAMERS[framer], address=("127.0.0.1", port),
                             allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    print("listening on", server.server.sockets[0].getsockname()[1], flush=True)
    await task


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in FRAMERS:
        sys.exit(__doc__)
    asyncio.run(serve(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 0,
                      int(sys.argv[3]) if len(sys.argv) > 3 else 1))
