#!/usr/bin/env python3
"""Draws the editor's small pictures as 32 x 32 icon files (32-bit BGRA).

Run it in this folder after changing a drawing; the .ico files are checked in
and compiled into the program as resources.
"""
import struct

GROESSE = 32
TRANSPARENT = (0, 0, 0, 0)
SCHWARZ = (40, 40, 40, 255)
WEISS = (255, 255, 255, 255)
GRAU = (150, 150, 150, 255)
BLAU = (60, 110, 190, 255)
DECKEL = (90, 90, 90, 255)


def leer():
    return [[TRANSPARENT] * GROESSE for _ in range(GROESSE)]


def rechteck(b, x0, y0, x1, y1, farbe):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            b[y][x] = farbe


def rahmen(b, x0, y0, x1, y1, farbe):
    for x in range(x0, x1 + 1):
        b[y0][x] = b[y1][x] = farbe
    for y in range(y0, y1 + 1):
        b[y][x0] = b[y][x1] = farbe


def blatt(b, x0, y0, x1, y1, ecke):
    """A sheet of paper with a folded top right corner and lines of text."""
    rechteck(b, x0, y0, x1, y1, WEISS)
    rahmen(b, x0, y0, x1, y1, SCHWARZ)
    for i in range(ecke):
        for j in range(ecke - i):
            b[y0 + i][x1 - j] = TRANSPARENT
        b[y0 + i][x1 - ecke + i] = SCHWARZ
    for y in range(y0 + 1, y0 + ecke + 1):
        b[y][x1 - ecke] = GRAU
    for x in range(x1 - ecke, x1 + 1):
        b[y0 + ecke][x] = SCHWARZ
    y = y0 + ecke + 3
    while y < y1 - 2:
        rechteck(b, x0 + 3, y, x1 - 4, y, BLAU if y == y0 + ecke + 3 else GRAU)
        y += 3


def muelleimer(b, offen):
    rechteck(b, 8, 10, 23, 29, GRAU)
    rahmen(b, 8, 10, 23, 29, SCHWARZ)
    for x in (12, 16, 20):
        rechteck(b, x, 13, x, 26, SCHWARZ)
    if offen:
        # The lid stands up on the left edge.
        rechteck(b, 3, 1, 5, 9, DECKEL)
        rechteck(b, 1, 4, 2, 6, DECKEL)
    else:
        rechteck(b, 6, 7, 25, 8, DECKEL)
        rechteck(b, 13, 5, 18, 6, DECKEL)


def schreiben(name, b):
    pixel = bytearray()
    for zeile in reversed(b):
        for r, g, bl, a in zeile:
            pixel += bytes((bl, g, r, a))
    maske = bytes(GROESSE * 4)  # the alpha channel decides; AND mask all zero
    dib = struct.pack('<IiiHHIIiiII', 40, GROESSE, GROESSE * 2, 1, 32, 0, len(pixel) + len(maske), 0, 0, 0, 0)
    daten = dib + bytes(pixel) + maske
    kopf = struct.pack('<HHH', 0, 1, 1)
    eintrag = struct.pack('<BBBBHHII', GROESSE, GROESSE, 0, 0, 1, 32, len(daten), 6 + 16)
    with open(name, 'wb') as f:
        f.write(kopf + eintrag + daten)


gross = leer()
blatt(gross, 5, 1, 26, 30, 7)
schreiben('papergr.ico', gross)

klein = leer()
blatt(klein, 10, 8, 21, 23, 4)
schreiben('paperkl.ico', klein)

zu = leer()
muelleimer(zu, False)
schreiben('muell.ico', zu)

auf = leer()
muelleimer(auf, True)
schreiben('muellop.ico', auf)
