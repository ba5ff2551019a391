#!/usr/bin/env python3
"""Makes the damaged and unusual sample files of the imaging tests.

Run from this folder; needs tiffcp (libtiff-tools) for the tiled file.
Each file is small and shows one thing real-world files do."""
import struct
import subprocess


def tiff(seiten, zusatz_seite2=(), breite=64, hoehe=64):
    """Classic little-endian TIFF, 1 bit uncompressed, MinIsWhite; page i
    shows i + 1 black bars. Extra tags go into the second page's directory."""
    zeilen_bytes = (breite + 7) // 8
    out = bytearray(b"II*\x00" + struct.pack("<I", 0))
    daten = []
    for i in range(seiten):
        daten.append(len(out))
        for y in range(hoehe):
            zeile = bytearray(zeilen_bytes)
            for balken in range(i + 1):
                if 8 * balken + 2 <= y < 8 * balken + 6:
                    for x in range(breite):
                        zeile[x // 8] |= 0x80 >> (x % 8)
            out += zeile
    ifds = []
    for i in range(seiten):
        if len(out) % 2:
            out += b"\0"
        tags = [(256, 3, 1, breite), (257, 3, 1, hoehe), (258, 3, 1, 1), (259, 3, 1, 1), (262, 3, 1, 0),
                (273, 4, 1, daten[i]), (277, 3, 1, 1), (278, 3, 1, hoehe), (279, 4, 1, zeilen_bytes * hoehe)]
        if i == 1:
            tags += list(zusatz_seite2)
        tags.sort()
        ifds.append(len(out))
        out += struct.pack("<H", len(tags))
        for tag, typ, anzahl, wert in tags:
            if typ == 3 and anzahl == 1:
                out += struct.pack("<HHIHH", tag, typ, anzahl, wert, 0)
            else:
                out += struct.pack("<HHII", tag, typ, anzahl, wert)
        out += struct.pack("<I", 0)
    struct.pack_into("<I", out, 4, ifds[0])
    for i in range(seiten - 1):
        n = struct.unpack_from("<H", out, ifds[i])[0]
        struct.pack_into("<I", out, ifds[i] + 2 + 12 * n, ifds[i + 1])
    return bytes(out)


def pdf(objekte, trailer):
    out = b"%PDF-1.4\n"
    stellen = []
    for nummer, inhalt in enumerate(objekte, start=1):
        stellen.append(len(out))
        out += b"%d 0 obj\n" % nummer + inhalt + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objekte) + 1)
    out += b"".join(b"%010d 00000 n \n" % s for s in stellen)
    out += b"trailer\n" + trailer + b"\nstartxref\n%d\n%%%%EOF\n" % xref
    return out


def strom(inhalt):
    return b"<< /Length %d >>\nstream\n" % len(inhalt) + inhalt + b"\nendstream"


# Page 2 names an orientation that does not exist: libtiff reports an error
# for the tag, reads the directory all the same, and both pages decode.
with open("ausrichtung_falsch.tif", "wb") as f:
    f.write(tiff(2, [(274, 3, 1, 9)]))

# A one-bit page stored in tiles, as tiffcp -t writes it.
with open("streifen.tif", "wb") as f:
    f.write(tiff(1, breite=200, hoehe=120))
subprocess.run(["tiffcp", "-t", "-w", "64", "-l", "64", "-c", "none", "streifen.tif", "kacheln_1bit.tif"], check=True)
subprocess.run(["rm", "streifen.tif"], check=True)

# An encryption dictionary QPDF refuses (unknown revision) while nothing in
# the file is encrypted: Poppler shows the page.
seite = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
         strom(b"0 0 0 rg 20 20 100 100 re f")]
with open("verschluesselung_kaputt.pdf", "wb") as f:
    f.write(pdf(seite + [b"<< /Filter /Standard /V 9 /R 9 /Length 40 /P -4 /O (x) /U (y) >>"],
                b"<< /Size 6 /Root 1 0 R /Encrypt 5 0 R /ID [<01><01>] >>"))

# A page of 200 x 200 inches (the largest PDF allows): at 300 dpi it would be
# 3.6 billion pixels.
riesig = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 14400 14400] /Contents 4 0 R >>",
          strom(b"0 0 0 rg 100 100 14000 14000 re f")]
with open("riesenseite.pdf", "wb") as f:
    f.write(pdf(riesig, b"<< /Size 5 /Root 1 0 R >>"))
