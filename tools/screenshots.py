#!/usr/bin/env python3
"""Copies the dialog test's screenshots into docs/ and writes the review page.

    tools/screenshots.py <test output folder> <docs folder>
    tools/screenshots.py --shrink <test output folder> <pictures folder> <name>...

The test writes uncompressed PNGs; here each is filtered and compressed again
(the same pixels, a fraction of the bytes), and docs/dialogs.md lists them.
--shrink only compresses the named pictures into the folder (for pages written by hand).
"""
import os
import struct
import sys
import zlib

PAGE = [
    ("The message box, one per button set (English)", [
        ("message_ok_en", "MB_OK without icon bits: information, one OK button in the middle"),
        ("message_okcancel_en", "MB_OKCANCEL | MB_ICONHAND: the error icon"),
        ("message_abortretryignore_en", "MB_ABORTRETRYIGNORE | MB_ICONQUESTION"),
        ("message_yesnocancel_en", "MB_YESNOCANCEL | MB_ICONEXCLAMATION: the warning icon"),
        ("message_yesno_en", "MB_YESNO | MB_ICONASTERISK"),
        ("message_retrycancel_en", "MB_RETRYCANCEL, icon bits 0x50: information"),
    ]),
    ("The message box in German (res/TarnKit.de.lng), a device reply as the text", [
        ("message_ok_de", "MB_OK"),
        ("message_okcancel_de", "MB_OKCANCEL"),
        ("message_abortretryignore_de", "MB_ABORTRETRYIGNORE"),
        ("message_yesnocancel_de", "MB_YESNOCANCEL"),
        ("message_yesno_de", "MB_YESNO"),
        ("message_retrycancel_de", "MB_RETRYCANCEL"),
    ]),
    ("The details, after two clicks on the Info area and a click on the revealed button", [
        ("message_info_revealed", "the box after two clicks on the area below its icon"),
        ("details_en", "English, a CWinException with the largest line number"),
        ("details_de", "German, a CCommException from a receiver"),
    ]),
    ("The tip", [
        ("tip", "a text that fits: centred both ways"),
        ("tip_tall", "a text taller than the area: from the top, clipped at the bottom"),
    ]),
    ("The folder browser", [
        ("browse_en", "CBrowseForFolderDlg unfolded along a test folder, the folder selected"),
        ("browse_de", "the same in German (res/TarnKit.de.lng), the caller's prompt in German"),
    ]),
    ("The file dialog", [
        ("file_en", "English: a test folder, the second filter chosen, a file selected"),
        ("file_de", "German (res/TarnKit.de.lng): the same folder, filter and file"),
    ]),
]


def chunks(data):
    pos = 8
    while pos < len(data):
        (n,) = struct.unpack(">I", data[pos:pos + 4])
        yield data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        pos += 12 + n


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def shrink(src, dst):
    data = open(src, "rb").read()
    header, idat = None, b""
    for kind, body in chunks(data):
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour = struct.unpack(">IIBB", header[:10])
    assert depth == 8 and colour == 2, "RGB only"
    raw = zlib.decompress(idat)
    stride = width * 3
    out = bytearray()
    for y in range(height):
        row = raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)]
        # "Sub" filter: each byte minus the one a pixel to the left.
        out.append(1)
        out += bytes((row[i] - (row[i - 3] if i >= 3 else 0)) & 0xFF for i in range(stride))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(out), 9))
    open(dst, "wb").write(png + chunk(b"IEND", b""))


def main():
    if sys.argv[1] == "--shrink":
        source, pictures = sys.argv[2], sys.argv[3]
        os.makedirs(pictures, exist_ok=True)
        for name in sys.argv[4:]:
            src = os.path.join(source, name + ".png")
            if not os.path.exists(src):
                sys.exit("missing screenshot: " + src)
            shrink(src, os.path.join(pictures, name + ".png"))
        return
    source, docs = sys.argv[1], sys.argv[2]
    pictures = os.path.join(docs, "screenshots")
    os.makedirs(pictures, exist_ok=True)
    lines = ["# Dialogs: review page", "",
             "The library's dialogs as the dialog test shows them under Xvfb and Wine. "
             "Regenerate with `make screenshots`; look for clipped text, overlapping controls "
             "and wrong icons.", ""]
    for title, shots in PAGE:
        lines += ["## " + title, ""]
        for name, caption in shots:
            src = os.path.join(source, name + ".png")
            if not os.path.exists(src):
                sys.exit("missing screenshot: " + src)
            shrink(src, os.path.join(pictures, name + ".png"))
            lines += ["**%s**: %s" % (name, caption), "", "![%s](screenshots/%s.png)" % (name, name), ""]
    open(os.path.join(docs, "dialogs.md"), "w").write("\n".join(lines))


if __name__ == "__main__":
    main()
