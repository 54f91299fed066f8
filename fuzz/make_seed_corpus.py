#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus into fuzz/corpus/: short, whole conversations with the pad.

Each seed is a setup byte and records (see checked_link.h): a record is a delivered report
length followed by that many report bytes, or a one-byte action. The regression-* files beside
them are not generated: they are inputs that once broke an invariant, kept so that every run
tries them again.
"""
import pathlib
import struct

ANSWER_OK, ANSWER_CANCEL, UPDATE_INIT, TOGGLE_WRITES, BEGIN, QUERY = 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5
NO_REPORT, READ_FAILS = 0xFE, 0xFF


def report(message, delivered=None):
    data = bytes([len(message)]) + bytes(message)
    if delivered is None:
        delivered = len(data)
    data = data[:delivered]
    return bytes([len(data)]) + data


def event(code, data=b""):
    return report(bytes([0x00, 0x16, 3 + len(data), 0x00, code]) + struct.pack("<H", len(data)) + data)


def version(v):
    return event(0x04, struct.pack("<I", v))


def device_info(boot_flag, delivered=None):
    body = bytearray(44)
    body[36:40] = struct.pack("<I", boot_flag)
    return report(bytes([0x00, 0x19, len(body), 0x00]) + bytes(body), delivered)


ACK = event(0x14)


def setup(polling, image, answer=0):
    return bytes([(1 if polling else 0) | image << 1 | answer << 4])


seeds = {
    "push-whole-update": setup(False, 0) + version(110) + bytes([BEGIN]) + device_info(1) + ACK * 4,
    "push-answered-later": setup(False, 1, 2) + version(110) + bytes([BEGIN]) + device_info(1)
    + bytes([ANSWER_OK]) + ACK * 6,
    "push-cancelled-later": setup(False, 0, 2) + version(110) + device_info(1) + bytes([ANSWER_CANCEL]) + ACK,
    "push-pad-error": setup(False, 0) + version(0xFFFFFFFF) + device_info(1) + ACK * 2 + event(0x18) + ACK,
    "push-not-boot": setup(False, 0) + version(110) + device_info(0) + device_info(2) + ACK,
    "push-write-fails": setup(False, 2) + version(110) + device_info(1) + ACK + bytes([TOGGLE_WRITES]) + ACK
    + bytes([TOGGLE_WRITES, UPDATE_INIT, QUERY]),
    "push-no-version-first": setup(False, 0) + device_info(1) + ACK * 3,
    "polling-whole-update": setup(True, 0) + version(110) + device_info(1) + ACK * 4,
    "polling-longer-image": setup(True, 2) + version(110) + bytes([NO_REPORT]) + device_info(1) + ACK * 6,
    "polling-empty-image": setup(True, 3) + version(0) + device_info(1) + ACK * 3 + device_info(1) + ACK,
    "polling-refused-images": setup(True, 4) + version(110) + device_info(1) + bytes([READ_FAILS])
    + device_info(1),
    "polling-cancelled": setup(True, 0, 1) + version(110) + device_info(1) + ACK,
    "polling-cut-reports": setup(True, 0) + version(110) + device_info(1, delivered=30) + device_info(1)
    + report(bytes([0x00, 0x16, 0x03, 0x00, 0x14]), delivered=3) + ACK + bytes([NO_REPORT]) + ACK * 2,
}

corpus = pathlib.Path(__file__).resolve().parent / "corpus"
corpus.mkdir(exist_ok=True)
for name, data in seeds.items():
    (corpus / name).write_bytes(data)
