#!/usr/bin/env python3
"""Captures real server replies into the seed corpora: service lines of a header
report, the configuration and attachment queries, and database information items.

Usage: capture_replies.py DATABASE_PATH [PASSWORD]   (server on 127.0.0.1)
"""
import ctypes
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
client = ctypes.CDLL("libfbclient.so.2")
Status = ctypes.c_long * 20


def check(status, what):
    if status[0] == 1 and status[1] != 0:
        raise SystemExit(f"{what}: error {status[1]}")


def spb_text(code, text):
    data = text.encode()
    return bytes([code, len(data)]) + data


def save(name, index, data):
    folder = os.path.join(here, "corpus", name)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"captured_{index:02d}.bin"), "wb") as out:
        out.write(data)


def service_query(handle, items, size=4096):
    status = Status()
    reply = ctypes.create_string_buffer(size)
    client.isc_service_query(status, ctypes.byref(handle), None, 0, None, len(items), items, size, reply)
    check(status, "isc_service_query")
    return reply.raw


def trimmed(reply):
    # The reply up to and with its end byte, as far as the server filled it.
    end = len(reply.rstrip(b"\0"))
    return reply[:max(end, 1)]


def main():
    database = sys.argv[1]
    password = sys.argv[2] if len(sys.argv) > 2 else "plumtavern"
    status = Status()

    service = ctypes.c_uint(0)
    name = b"127.0.0.1:service_mgr"
    attach = bytes([2, 2]) + spb_text(28, "SYSDBA") + spb_text(29, password)
    client.isc_service_attach(status, len(name), name, ctypes.byref(service), len(attach), attach)
    check(status, "isc_service_attach")

    # The header report, one line per query, as the binding reads it.
    db = database.encode()
    start = bytes([11, 106]) + len(db).to_bytes(2, "little") + db + bytes([108]) + (4).to_bytes(4, "little")
    client.isc_service_start(status, ctypes.byref(service), None, len(start), start)
    check(status, "isc_service_start")
    for index in range(64):
        reply = service_query(service, bytes([62]))
        length = int.from_bytes(reply[1:3], "little")
        save("service_line", index, reply[:3 + length + 1])
        if length == 0:
            break

    save("service_config_reply", 0, trimmed(service_query(service, bytes([53, 59, 60, 61, 58]))))
    save("service_database_info_reply", 0, trimmed(service_query(service, bytes([50]))))
    client.isc_service_detach(status, ctypes.byref(service))

    # Database information items: integers and the attached user names.
    handle = ctypes.c_uint(0)
    connection = f"127.0.0.1:{database}".encode()
    dpb = bytes([1, 28, 6]) + b"SYSDBA" + bytes([29, len(password)]) + password.encode()
    client.isc_attach_database(status, len(connection), connection, ctypes.byref(handle), len(dpb), dpb)
    check(status, "isc_attach_database")
    for index, item in enumerate([14, 15, 31, 34, 52, 53, 62]):
        reply = ctypes.create_string_buffer(1024)
        client.isc_database_info(status, ctypes.byref(handle), 1, bytes([item]), 1024, reply)
        check(status, "isc_database_info")
        save("database_info_reply", index, trimmed(reply.raw))
    client.isc_detach_database(status, ctypes.byref(handle))


if __name__ == "__main__":
    main()
