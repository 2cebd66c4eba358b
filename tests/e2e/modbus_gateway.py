#!/usr/bin/python3
"""A Modbus TCP gateway as the plant's are, for the end-to-end tests: the units it has behind it
are a Modbus TCP server (kvel-sim) it passes requests on to, and for any other unit it answers
as a real gateway does when nothing answers on its serial side: exception 0B (target failed to
respond) for odd addresses, 0A (path unavailable) for even ones. Plain sockets, one thread per
client. Prints "listening on <port>" once it takes connections; serves until killed.
Usage: modbus_gateway.py BACKEND_PORT UNIT[,UNIT...]"""
import socket
import struct
import sys
import threading

MBAP = struct.Struct(">HHHB")  # transaction, protocol, length, unit


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        piece = sock.recv(count - len(data))
        if not piece:
            raise ConnectionError("closed")
        data += piece
    return data


def read_adu(sock):
    header = read_exactly(sock, MBAP.size)
    length = MBAP.unpack(header)[2]
    if length < 2 or length > 254:
        raise ConnectionError("bad length")
    return header, read_exactly(sock, length - 1)


def no_unit_reply(header, pdu):
    transaction, protocol, _, unit = MBAP.unpack(header)
    code = 0x0B if unit % 2 else 0x0A
    return MBAP.pack(transaction, protocol, 3, unit) + bytes([pdu[0] | 0x80, code])


def serve_client(client, backend_port, units):
    backend = socket.create_connection(("127.0.0.1", backend_port))
    try:
        while True:
            header, pdu = read_adu(client)
            if MBAP.unpack(header)[3] not in units:
                client.sendall(no_unit_reply(header, pdu))
                continue
            backend.sendall(header + pdu)
            reply_header, reply_pdu = read_adu(backend)
            client.sendall(reply_header + reply_pdu)
    except (ConnectionError, OSError):
        pass
    finally:
        client.close()
        backend.close()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    backend_port = int(sys.argv[1])
    units = {int(unit) for unit in sys.argv[2].split(",")}
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print("listening on", server.getsockname()[1], flush=True)
    while True:
        client, _ = server.accept()
        threading.Thread(target=serve_client, args=(client, backend_port, units),
                         daemon=True).start()


if __name__ == "__main__":
    main()
