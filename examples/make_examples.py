#!/usr/bin/env python3
"""Writes the example archives of this folder: pages saved the way the old browser saves them
(CR LF lines, quoted-printable HTML, base64 images under temporary names, encoded-word names),
and a page saved the way today's browsers save one (.mhtml: every part in binary, a style sheet
and a frame known by cid: URLs, srcset images). Deterministic: running it again writes the same
bytes."""
import base64
import os
import quopri
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BOUNDARY = "----=_NextPart_000_0000_01C80C1B.2A3B4C5D"


def gif(width, height, colour):
    """A small one-colour GIF image."""
    r, g, b = colour
    header = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0)
    palette = bytes([r, g, b, 255, 255, 255])
    image = b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    # LZW data for a single-colour image: clear code, then index 0 repeated, end code.
    pixels = width * height
    codes, bits = [], []
    clear, end = 4, 5
    codes.append(clear)
    codes.extend([0] * pixels)
    codes.append(end)
    size = 3
    out, acc, n, emitted = bytearray(), 0, 0, 0
    for code in codes:
        acc |= code << n
        n += size
        while n >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            n -= 8
        emitted += 1
        if code == clear:
            emitted = 0
        elif emitted >= 2:  # keep the table from growing past 3-bit codes
            acc |= clear << n
            n += size
            emitted = 0
    if n:
        out.append(acc & 0xFF)
    data = bytearray([2])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        data += bytes([len(chunk)]) + chunk
    data += b"\x00"
    return header + palette + image + bytes(data) + b"\x3b"


def png(width, height, colour):
    """A small one-colour PNG image."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    row = b"\x00" + bytes(colour) * width
    raw = zlib.compress(row * height, 9)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", raw) + chunk(b"IEND", b""))


def b64_lines(data):
    text = base64.b64encode(data).decode("ascii")
    return "\r\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + "\r\n"


def qp(text_bytes):
    lines = text_bytes.split(b"\n")
    encoded = quopri.encodestring(b"\r\n".join(lines)).replace(b"\r\n", b"\n")
    return encoded.decode("ascii").replace("\n", "\r\n")


def archive(header_type, parts):
    out = ("From: <Saved by an old browser>\r\nSubject: saved page\r\n"
           "Date: Thu, 11 Oct 2007 12:40:00 +0900\r\nMIME-Version: 1.0\r\n"
           "Content-Type: " + header_type + ";\r\n\ttype=\"text/html\";\r\n"
           "\tboundary=\"" + BOUNDARY + "\"\r\nX-MimeOLE: Produced By a MIME library\r\n\r\n"
           "This is a multi-part message in MIME format.\r\n\r\n")
    for headers, body in parts:
        out += "--" + BOUNDARY + "\r\n" + "".join(h + "\r\n" for h in headers) + "\r\n" + body + "\r\n"
    return out + "--" + BOUNDARY + "--\r\n"


TEMP = "file:///C:/DOCUME~1/user/LOCALS~1/Temp/"


def thread_page():
    html = ("<html><head><title>\u753b\u50cf\u63b2\u793a\u677f</title></head><body>\n"
            "<form action=\"post.php\" method=POST>\n"
            "\u753b\u50cf\u30d5\u30a1\u30a4\u30eb\u540d\uff1a<a href=\"http://board.example/b/src/1191234567890.jpg\" "
            "target=\"_blank\">1191234567890.jpg</a>-(51234 B) <small>\u30b5\u30e0\u30cd\u8868\u793a</small><br>\n"
            "<a href=\"http://board.example/b/src/1191234567890.jpg\" target=\"_blank\">"
            "<img src=\"" + TEMP + "ABCD1234.tmp\" border=0 align=left width=100 height=80></a>\n"
            "<input type=checkbox name=\"12345678\" value=delete>\u7121\u984c Name \u540d\u7121\u3057 "
            "07/10/11(\u6728)12:34:56 No.12345678 <a class=del href=\"#\">del</a>\n"
            "<blockquote>\u30b9\u30ec\u3063\u3066\u3002</blockquote>\n"
            "<table><tr><td>\u30ec\u30b9 07/10/11(\u6728)12:35:10 No.12345679 "
            "<img src=\"" + TEMP + "EFGH5678.tmp\"><blockquote>\u3053\u308c\u306f\u30ec\u30b9</blockquote></td></tr></table>\n"
            "<table><tr><td><img src=\"" + TEMP + "IJKL9012.tmp\"> No.12345680</td></tr></table>\n"
            "</form></body></html>\n")
    parts = [
        (["Content-Type: text/html;", "\tcharset=\"shift_jis\"", "Content-Transfer-Encoding: quoted-printable",
          "Content-Location: http://board.example/b/res/12345678.htm"], qp(html.encode("cp932"))),
        (["Content-Type: image/jpeg", "Content-Transfer-Encoding: base64",
          "Content-Location: " + TEMP + "ABCD1234.tmp"], b64_lines(gif(100, 80, (200, 80, 40)))),
        (["Content-Type: image/gif", "Content-Transfer-Encoding: base64",
          "Content-Location: " + TEMP + "EFGH5678.tmp"], b64_lines(gif(16, 16, (40, 120, 200)))),
        (["Content-Type: image/png", "Content-Transfer-Encoding: base64",
          "Content-Location: " + TEMP + "IJKL9012.tmp"], b64_lines(png(24, 24, (30, 160, 60)))),
        (["Content-Type: image/gif", "Content-Transfer-Encoding: base64",
          "Content-Location: http://board.example/b/title.gif"], b64_lines(gif(32, 8, (0, 0, 0)))),
    ]
    return archive("multipart/related", parts)


def japanese_names():
    letter = "\u3053\u3093\u306b\u3061\u306f\u3002\u6dfb\u4ed8\u3092\u9001\u308a\u307e\u3059\u3002\n\uff71\uff72\uff73 \u534a\u89d2\u30ab\u30ca\n"
    jis = letter.encode("iso-2022-jp-ext").decode("ascii").replace("\n", "\r\n")
    test_jpg = "\u30c6\u30b9\u30c8.jpg"
    b_sjis = base64.b64encode(test_jpg.encode("cp932")).decode("ascii")
    first = base64.b64encode("\u30c6".encode("iso-2022-jp")).decode("ascii")
    second = base64.b64encode("\u30b9\u30c8.png".encode("iso-2022-jp")).decode("ascii")
    q_name = "".join("=%02X" % b if b >= 0x80 or chr(b) in "=?_ " else chr(b)
                     for b in "\u8868\u7d19_\u6848.gif".encode("cp932"))
    parts = [
        (["Content-Type: text/plain; charset=\"iso-2022-jp\"", "Content-Transfer-Encoding: 7bit",
          "Content-Location: http://mail.example/letter.txt"], jis),
        (["Content-Type: image/jpeg", "Content-Location: =?shift_jis?B?" + b_sjis + "?=",
          "Content-Transfer-Encoding: base64"], b64_lines(gif(8, 8, (255, 0, 0)))),
        (["Content-Type: image/png", "Content-Location: =?iso-2022-jp?B?" + first + "?=",
          "\t=?iso-2022-jp?B?" + second + "?=", "Content-Transfer-Encoding: base64"],
         b64_lines(png(8, 8, (0, 0, 255)))),
        (["Content-Type: image/gif", "Content-Location: =?Shift_JIS?Q?" + q_name + "?=",
          "Content-Transfer-Encoding: base64"], b64_lines(gif(4, 4, (0, 255, 0)))),
    ]
    return archive("multipart/mixed", parts)


BLINK_BOUNDARY = "----MultipartBoundary--Qx7d2Kf9Lm3Np5Rs8Tv0Wy4Zb6Cd1Eg----"


def today_page():
    """A news page as today's browsers save it: binary parts, the page at a folder's address,
    its style sheet and a frame known only by cid: URLs, images in srcset lists."""
    page = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
            "<title>\u30cb\u30e5\u30fc\u30b9</title>"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"cid:css-0001@mhtml.blink\" />"
            "</head><body><h1 class=\"headline\">\u4eca\u65e5\u306e\u30cb\u30e5\u30fc\u30b9</h1>\n"
            "<img src=\"https://news.example/img/photo.png\" "
            "srcset=\"https://news.example/img/photo.png 1x, https://news.example/img/photo@2x.png 2x\" "
            "crossorigin=\"anonymous\" alt=\"photo\">\n"
            "<picture><source srcset=\"../img/dot.gif\"><img src=\"../img/dot.gif\" alt=\"dot\"></picture>\n"
            "<iframe src=\"cid:frame-0002@mhtml.blink\"></iframe>\n"
            "<p><a href=\"https://news.example/dir/next.html\">\u6b21\u306e\u8a18\u4e8b</a></p>"
            "</body></html>\n").encode("utf-8")
    frame = ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>"
             "<p>\u30d5\u30ec\u30fc\u30e0</p><img src=\"https://news.example/img/dot.gif\"></body></html>\n").encode("utf-8")
    css = b".headline { color: rgb(180, 30, 30); background: url(https://news.example/img/dot.gif); }\n"
    parts = [
        (["Content-Type: text/html", "Content-ID: <frame-0001@mhtml.blink>",
          "Content-Transfer-Encoding: binary", "Content-Location: https://news.example/dir/"], page),
        (["Content-Type: text/css", "Content-Transfer-Encoding: binary",
          "Content-Location: cid:css-0001@mhtml.blink"], css),
        (["Content-Type: image/png", "Content-Transfer-Encoding: binary",
          "Content-Location: https://news.example/img/photo.png"], png(40, 30, (30, 90, 200))),
        (["Content-Type: image/png", "Content-Transfer-Encoding: binary",
          "Content-Location: https://news.example/img/photo@2x.png"], png(80, 60, (30, 90, 200))),
        (["Content-Type: image/gif", "Content-Transfer-Encoding: binary",
          "Content-Location: https://news.example/img/dot.gif"], gif(8, 8, (250, 200, 0))),
        (["Content-Type: text/html", "Content-ID: <frame-0002@mhtml.blink>",
          "Content-Transfer-Encoding: binary"], frame),
    ]
    out = ("From: <Saved by a browser>\r\nSnapshot-Content-Location: https://news.example/dir/\r\n"
           "Subject: =?utf-8?Q?=E3=83=8B=E3=83=A5=E3=83=BC=E3=82=B9?=\r\n"
           "Date: Wed, 9 Dec 2026 12:00:00 +0900\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n"
           "\tboundary=\"" + BLINK_BOUNDARY + "\"\r\n\r\n\r\n").encode("ascii")
    for headers, body in parts:
        out += ("--" + BLINK_BOUNDARY + "\r\n" + "".join(h + "\r\n" for h in headers) + "\r\n").encode("ascii")
        out += body + b"\r\n"
    return out + ("--" + BLINK_BOUNDARY + "--\r\n").encode("ascii")


def main():
    for name, text in (("thread.mht", thread_page()), ("japanese_names.mht", japanese_names())):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(text.encode("ascii"))
    with open(os.path.join(HERE, "today.mhtml"), "wb") as f:
        f.write(today_page())


if __name__ == "__main__":
    main()
