#!/usr/bin/env python3
"""Scripted receiver "TK-100" on the far end of the test serial line.

serial-peer.py <tty>: opens the terminal and answers one line per command
(lines end in LF; a CR before it is ignored):

  *IDN?            TK-100,0042,1.0
  FREQ <MHz>       OK (the value is kept)
  FREQ?            the value kept, 100.0 at first
  ECHO <text>      <text>
  LATER <ms> <t>   <t>, after <ms> milliseconds
  BLOB <n>         n bytes "ABC...Z" repeated
  QUIET            nothing
  anything else    {2,,wrong command}
"""
import os
import sys
import time
import tty


def reply(line, state):
    command, _, argument = line.partition(b" ")
    if line == b"*IDN?":
        return b"TK-100,0042,1.0"
    if command == b"FREQ" and argument:
        try:
            float(argument)
        except ValueError:
            return b"{2,,wrong 1st parameter}"
        state["freq"] = argument
        return b"OK"
    if line == b"FREQ?":
        return state["freq"]
    if command == b"ECHO":
        return argument
    if command == b"LATER":
        delay, _, text = argument.partition(b" ")
        time.sleep(int(delay) / 1000.0)
        return text
    if command == b"BLOB":
        n = int(argument)
        return bytes(65 + i % 26 for i in range(n))
    if line == b"QUIET":
        return None
    return b"{2,,wrong command}"


def main():
    fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    state = {"freq": b"100.0"}
    pending = b""
    while True:
        try:
            data = os.read(fd, 4096)
        except OSError:
            # The far side is closed for a moment between two test programs.
            time.sleep(0.01)
            continue
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            answer = reply(line.rstrip(b"\r"), state)
            if answer is not None:
                os.write(fd, answer + b"\n")


if __name__ == "__main__":
    main()
