#!/usr/bin/env python3
"""Writes the seed corpus of every fuzzer into fuzz/corpus/<name>/. Run it again after changing
how a fuzzer reads its input. FuzzedDataProvider takes integers from the end of the input,
first byte taken = most significant, and byte runs from the front; the seeds are laid out so."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc(data):
    value = 0xFFFF
    for byte in data:
        value ^= byte
        for _ in range(8):
            value = (value >> 1) ^ 0xA001 if value & 1 else value >> 1
    return value


def framed(data):
    return bytes(data) + struct.pack('<H', crc(data))


def read_reply(address, function, words):
    return framed([address, function, 2 * len(words)] + [b for w in words for b in struct.pack('>H', w)])


def tail(*numbers):
    """Integers as the provider takes them from the end: (value, width) pairs in taking order."""
    out = b''
    for value, width in numbers:
        out = value.to_bytes(width, 'little') + out
    return out


def write(name, seeds):
    folder = os.path.join(HERE, 'corpus', name)
    os.makedirs(folder, exist_ok=True)
    for label, data in seeds.items():
        with open(os.path.join(folder, label), 'wb') as f:
            f.write(data)


POLL = read_reply(1, 3, list(range(0x100, 0x100 + 27)))
INPUT = read_reply(1, 4, [1] * 21)
EXCEPTION = framed([1, 0x83, 2])
ACK = framed([1, 6, 0, 0x40, 0xF1])
REQUEST = framed([1, 3, 0, 0, 0, 27])
BLOCK = framed([1, 6, 0xFF, 0xFD, 0, 14, 8, 0, 0x40, 0] + [0x5A] * 4)

def cutter_seed(address, length, pieces):
    """Pieces are (bytes, seal): the target appends the CRC to those it is told to seal."""
    controls = [(address, 1), (length, 2)]
    for body, seal in pieces:
        controls += [(1 if seal else 0, 1), (len(body), 1)]
    return b''.join(body for body, _ in pieces) + tail(*controls)


# Stream cutter: address and awaited length (0..300), then pieces of the stream.
write('fuzz_stream_cutter', {
    'poll-reply': cutter_seed(1, 59, [(POLL[:-2], True)]),
    'noise-then-reply': cutter_seed(1, 59, [(b'\xff\x00\x13', False), (POLL[:-2], True)]),
    'exception-and-other-address': cutter_seed(1, 59, [(EXCEPTION[:-2], True),
                                                       (read_reply(7, 3, [5] * 27)[:-2], True)]),
    'acknowledgement': cutter_seed(1, 7, [(b'\xaa', False), (ACK[:-2], True)]),
    'block-frame': cutter_seed(1, 7, [(BLOCK, False), (ACK[:-2], True)]),
})


def receiver_program(steps):
    """Each step is a list of (value, width) taken in order; the input is read from its end."""
    return tail(*[number for step in steps for number in step])


def feed(frame):
    return [[(5, 1), (b, 1)] for b in frame]


write('fuzz_receiver', {
    'address-length-reply': receiver_program(
        [[(0, 1), (1, 1)], [(1, 1), (59, 2), (0, 2)]] + feed(POLL)),
    'poll-cycle': receiver_program(
        [[(0, 1), (1, 1)], [(3, 1)], [(4, 1)]] + feed(INPUT) + [[(3, 1)], [(4, 1)]] + feed(POLL)),
    'stray-register': receiver_program(
        [[(0, 1), (1, 1)], [(1, 1), (59, 2), (90, 2)]] + feed(POLL)),
    'sealed-reply': INPUT[:-2] + receiver_program(
        [[(0, 1), (1, 1)], [(1, 1), (len(INPUT), 2), (0, 2)], [(7, 1), (len(INPUT) - 2, 1)]]),
    'write-echo': receiver_program(
        [[(0, 1), (1, 1)], [(2, 1), (6, 1), (16, 2), (485, 2)], [(4, 1)]] +
        feed(framed([1, 6, 0, 16, 1, 0xE5]))),
})


def sealed_program(length, bodies):
    """Address 1, the awaited `length`, then each body sealed with its CRC and received."""
    steps = [[(0, 1), (1, 1)], [(1, 1), (length, 2), (0, 2)]]
    steps += [[(7, 1), (len(body), 1)] for body in bodies]
    return b''.join(bytes(body) for body in bodies) + receiver_program(steps)


def awaiting(length, frame):
    """Address 1, the awaited `length`, then the frame byte by byte."""
    return receiver_program([[(0, 1), (1, 1)], [(1, 1), (length, 2), (0, 2)]] + feed(frame))


# Every reply length the receiver is told to await, with frames on both sides of each rule.
write('fuzz_receiver', {
    # A read reply carrying no registers is no reply, even where its length fits.
    'read-count-zero': sealed_program(5, [[1, 3, 0], [1, 4, 0]]),
    'exception': sealed_program(5, [[1, 0x83, 2], [1, 0x84, 0x0B]]),
    'status-reply': sealed_program(7, [[1, 3, 2, 0, 1], [1, 4, 2, 0, 1]]),
    'firmware-ack': sealed_program(7, [[1, 6, 0, 0x40, 0xF1], [2, 6, 0, 0x40, 0xF1]]),
    'count-beside-length': sealed_program(7, [[1, 3, 4, 0, 1], [1, 3, 1, 0, 1]]),
    'odd-count': sealed_program(8, [[1, 3, 3, 1, 2, 3]]),
    'write-echo-8': sealed_program(8, [[1, 6, 0, 16, 1, 0xE5]]),
    'input-poll': sealed_program(len(INPUT), [list(INPUT[:-2])]),
    'below-five': sealed_program(4, [[1, 3]]),
    'longest': awaiting(256, framed([1, 3, 251] + list(range(251)))),
    'past-longest': awaiting(257, framed([1, 3, 252] + list(range(252)))),
})

# data.inf: the file's contents, then the three words already held.
write('fuzz_data_inf', {
    'six-bytes': bytes([1, 0, 3, 0, 1, 0]) + tail((7, 2), (9, 2), (2, 2)),
    'short': bytes([5, 0, 9]) + tail((7, 2), (9, 2), (2, 2)),
    'longer': bytes([1, 0, 3, 0, 1, 0, 0xAA, 0xBB]) + tail((0, 2), (0, 2), (0, 2)),
    'empty': tail((1, 2), (2, 2), (3, 2)),
})

# Text formats: the typed text, then a register word.
write('fuzz_text_formats', {
    'setpoint': '48,5'.encode() + tail((485, 2)),
    'negative': ' -12 '.encode() + tail((65526, 2)),
    'exponent': '1,5e2'.encode() + tail((0, 2)),
    'lone-comma': ','.encode() + tail((5, 2)),
    'cyrillic': 'сорок'.encode() + tail((9999, 2)),
})

# Frame assembler: eight chunk sizes, then the stream.
MBAP_REPLY = bytes([0, 1, 0, 0, 0, 3 + 54, 1, 3, 54]) + bytes(54)
write('fuzz_mbap', {
    'reply': bytes([7] * 8) + MBAP_REPLY,
    'late-then-awaited': bytes([3, 250, 1, 9, 4, 0, 2, 5]) + bytes([0, 9]) + MBAP_REPLY[2:] + MBAP_REPLY,
    'huge-length': bytes([0] * 8) + bytes([0, 1, 0, 0, 0xFF, 0xFF, 1]) + bytes(300) + MBAP_REPLY,
    'other-protocol': bytes([1] * 8) + bytes([0, 1, 0, 5]) + MBAP_REPLY[4:] + MBAP_REPLY,
})

# The gateway's Modbus TCP side: eight chunk sizes, then what one client sends.
def mbap(transaction, unit, pdu, protocol=0):
    return struct.pack('>HHHB', transaction, protocol, len(pdu) + 1, unit) + bytes(pdu)


READ = [3, 0, 0, 0, 27]
write('fuzz_gateway_mbap', {
    'reads-and-writes': bytes([255] * 8) + mbap(1, 1, READ) + mbap(2, 7, [6, 0, 16, 1, 0xE5])
    + mbap(3, 7, [4, 0, 0, 0, 1]),
    'refused': bytes([2, 9, 0, 4, 13, 1, 6, 0]) + mbap(1, 0, [6, 0, 16, 1, 0xE5])
    + mbap(2, 1, [6, 0, 14, 0, 2]) + mbap(3, 1, [6, 0xFF, 0xFD, 0, 0xB9])
    + mbap(4, 1, [16, 0, 0, 0, 1, 2, 0, 1]) + mbap(5, 1, [3, 0, 0, 0, 0]) + mbap(6, 255, READ),
    'pipelined-then-other-protocol': bytes([255] * 8) + mbap(9, 1, READ) * 3
    + mbap(10, 1, READ, protocol=1) + mbap(11, 1, READ),
    'length-zero': bytes([0] * 8) + mbap(1, 1, READ) + bytes([0, 2, 0, 0, 0, 0, 1]) + mbap(3, 1, READ),
})

write('fuzz_frame_assembler', {
    'requests': bytes([3, 0, 7, 1, 2, 9, 4, 0]) + REQUEST + framed([1, 6, 0, 16, 1, 0xE5]),
    'command-then-block': bytes([0] * 8) + framed([1, 6, 0xFF, 0xFD, 0, 0xB9]) + BLOCK,
    'noise-between': bytes([1] * 8) + b'\x00\xff' + REQUEST + b'\x13' + BLOCK,
})

# RFC 2217 session: the last byte chooses the stream (even: a server made from the input, odd:
# raw bytes), the one before it the rate, the first eight the piece sizes.
SER2NET_GREETING = bytes.fromhex('fffb03fffd03fffb01fffe01fffd00fffb00fffd2c')
SER2NET_9600 = bytes.fromhex('fffa2c6b00fff0 fffa2c6500002580fff0 fffa2c6608fff0 fffa2c6701fff0'
                             'fffa2c6801fff0')
write('fuzz_rfc2217', {
    'made-server': bytes([5, 1, 200, 3, 17, 2, 9, 64]) + bytes(range(256)) * 2 + tail((0, 1), (3, 1)),
    'ser2net-in-bytes': bytes([0] * 8) + SER2NET_GREETING + SER2NET_9600 + bytes.fromhex('0103 02ffff b9f4')
    + tail((1, 1), (3, 1)),
    'subnegotiation-flood': bytes([255] * 8) + SER2NET_GREETING + bytes.fromhex('fffa2c') + bytes(20000)
    + tail((1, 1), (3, 1)),
    'option-refused': bytes([2] * 8) + bytes.fromhex('fffb00fffe2c 0102') + tail((1, 1), (6, 1)),
})
