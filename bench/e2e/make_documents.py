#!/usr/bin/env python3
"""Writes the three print documents of the end-to-end benchmark into a folder,
with their pictures beside them: letter.html (a two-page letter with pictures),
report.html (a five-page mixed report) and table.html (a 6000-row table of
about a hundred pages whose header repeats on every page). Long tables are marked
forcedisplay="W" (fit the width, continue over pages) as output documents do."""
import math
import os
import struct
import sys
import zlib


def png(width, height, pixel):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b""))


def logo(x, y):
    if math.hypot(x - 47.5, y - 47.5) > 46:
        return (255, 255, 255)
    if math.hypot(x - 62, y - 30) < 11:
        return (232, 111, 42)
    return (11, 79, 108)


def chart(x, y):
    # A bar chart, 320 x 160: five bars on a pale grid.
    bar = x // 64
    top = 150 - (30 + 22 * ((bar * 7) % 5))
    if 12 <= x % 64 <= 52 and top <= y < 150:
        return ((40 + 40 * bar) % 256, 90, 160)
    return (200, 200, 200) if y % 20 == 0 else (250, 250, 250)


def signature(x, y):
    return (20, 20, 90) if abs(y - (30 + 12 * math.sin(x / 9.0))) < 1.5 else (255, 255, 255)


LOREM = ("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
         "<b>incididunt</b> ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis "
         "nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. ")


def letter():
    d = ["<html><head><title>Order confirmation</title></head><body>",
         '<table width="100%" border=0 cellpadding=4><tr>',
         '<td width=100><img src="logo.png" width=96 height=96 alt="logo"></td>',
         '<td><font face="Arial" size=6 color="#1F3A5F"><b>Northwind Office Supply</b></font><br>',
         '<font face="Arial" size=2 color="gray">14 Harbour Street, Portsmouth</font></td>',
         "</tr></table><hr size=3 noshade>",
         "<p align=right>Portsmouth, 9 December 2026</p>",
         "<p>Mrs Eleanor Whitfield<br>22 Castle Road<br>Southsea PO5 3DE</p>",
         "<p>Dear Mrs Whitfield,</p>"]
    for n in range(5):
        d.append("<p>" + LOREM * 2 + "</p>")
    d.append('<center><img src="chart.png" width=320 height=160 alt="chart"></center>')
    d.append('<table width="100%" forcedisplay="W" border=1 cellpadding=3 cellspacing=0>'
             '<thead><tr bgcolor="#DCE6F0"><th>Item</th><th>Description</th><th>Qty</th><th>Price</th></tr></thead>')
    for r in range(12):
        d.append(f"<tr><td>A-{100 + r}</td><td>Archive box, grey, pack of {r + 5}</td>"
                 f"<td align=right>{r + 1}</td><td align=right>{(r + 1) * 4}.90</td></tr>")
    d.append("</table>")
    for n in range(4):
        d.append("<p>" + LOREM * 2 + "</p>")
    d.append('<p>Yours sincerely,</p><img src="signature.png" width=180 height=60 alt="signature">'
             "<p>Thomas Hale<br><i>Customer service</i></p></body></html>")
    return "\n".join(d)


def report():
    d = ['<html><head><title>Quarterly report</title></head><body>',
         '<img src="logo.png" align=left width=96 height=96 alt="logo">',
         '<font face="Georgia" size=6 color="#1F3A5F">Harbourline quarterly report</font><br clear=all><hr>']
    for s in range(1, 7):
        d.append(f'<h2>{s}. Section {s}</h2>')
        d.append("<p>" + LOREM * 3 + "</p>")
        d.append("<ul>" + "".join(f"<li>Point {s}.{k}: {LOREM[:90]}</li>" for k in range(4)) + "</ul>")
        d.append('<table width="100%" forcedisplay="W" border=1 cellpadding=2 cellspacing=0><thead><tr bgcolor="#EEEEEE">'
                 "<th>Region</th><th>Q1</th><th>Q2</th><th>Q3</th><th>Q4</th></tr></thead>")
        for r in range(14):
            d.append(f"<tr><td>Region {r}</td>" +
                     "".join(f"<td align=right>{(r * 37 + q * 11 + s) % 900 + 100}</td>" for q in range(4)) + "</tr>")
        d.append("</table>")
        if s % 2:
            d.append('<center><img src="chart.png" width=320 height=160 alt="chart"></center>')
        d.append("<p><i>" + LOREM + "</i></p><hr>")
    d.append("</body></html>")
    return "\n".join(d)


def table(rows=6000):
    d = ['<html><head><title>Ledger</title></head><body>',
         '<font face="Arial" size=5><b>Ledger, all postings</b></font>',
         '<table width="100%" forcedisplay="W" border=1 cellpadding=1 cellspacing=0><thead><tr bgcolor="#DCE6F0">'
         "<th>No.</th><th>Date</th><th>Account</th><th>Text</th><th>Amount</th></tr></thead>"]
    for r in range(1, rows + 1):
        d.append(f"<tr><td align=right>{r}</td><td>2026-{r % 12 + 1:02d}-{r % 28 + 1:02d}</td>"
                 f"<td>{4000 + r % 97}</td><td>Posting {r} for order {r * 7 % 10007}</td>"
                 f"<td align=right>{(r * 131) % 100000 / 100:.2f}</td></tr>")
    d.append("</table></body></html>")
    return "\n".join(d)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    pictures = {"logo.png": png(96, 96, logo), "chart.png": png(320, 160, chart),
                "signature.png": png(180, 60, signature)}
    for name, data in pictures.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    for name, text in (("letter.html", letter()), ("report.html", report()), ("table.html", table())):
        with open(os.path.join(out, name), "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
