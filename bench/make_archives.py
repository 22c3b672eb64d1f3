#!/usr/bin/env python3
"""Writes benchmark archives the way the old browser saves a page: CR LF lines, one
quoted-printable HTML page, base64 images in 76-column lines, some under temporary ".tmp" names.
Seeded: the same arguments write the same bytes.

  make_archives.py large SIZE OUT.mht [--payload OUT.b64] [--seed N]
      one archive of about SIZE bytes (suffixes k, M, G); --payload also writes the base64 text
      of all its images as one stream with LF line ends, for `base64 -d` on the same bytes
  make_archives.py folder COUNT SIZE DIR [--seed N]
      COUNT thread-page archives of about SIZE bytes each into DIR
  make_archives.py closeout COUNT OUT.mht
      one thread page referring to COUNT images, each a part of its own saved under a ".tmp"
      name: the close-out renames every image and rewrites every reference
  make_archives.py edge DIR
      small archives with odd lines (long, NUL, lone CR, many parameters) and large pages whose
      references sit on long lines, for comparing two builds byte for byte
  make_archives.py parts COUNT OUT.mht
      one archive of COUNT small image parts, each of a name of its own
  make_archives.py declarations lines|line SIZE OUT.mht
      about SIZE bytes of "boundary=" declarations: one a line, each multipart nested in the one
      before and never closed (lines), or all on one line, one every kilobyte (line)
"""
import argparse
import base64
import os
import quopri
import random

BOUNDARY = "----=_NextPart_000_0000_01C80C1B.2A3B4C5D"
TEMP = "file:///C:/DOCUME~1/user/LOCALS~1/Temp/"
CHUNK = 57 * 1024  # raw bytes per base64 step: a multiple of 57 fills whole 76-column lines


def parse_size(text):
    scale = {"k": 1 << 10, "m": 1 << 20, "g": 1 << 30}.get(text[-1:].lower(), 1)
    return int(float(text.rstrip("kKmMgG")) * scale)


def header(rng):
    stamp = "%04X_%08X.%08X" % (rng.getrandbits(16), rng.getrandbits(32), rng.getrandbits(32))
    boundary = "----=_NextPart_000_" + stamp
    text = ("From: <Saved by Windows Internet Explorer 6>\r\nSubject: saved page\r\n"
            "Date: Thu, 11 Oct 2007 12:40:00 +0900\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n"
            "\tboundary=\"" + boundary + "\"\r\nX-MimeOLE: Produced By Microsoft MimeOLE\r\n\r\n"
            "This is a multi-part message in MIME format.\r\n\r\n")
    return boundary, text.encode("ascii")


def image_location(rng, number, index, tmp):
    if tmp:
        return TEMP + "%08X.tmp" % rng.getrandbits(32)
    return "http://img.example/b/src/%d%04d.jpg" % (number, index)


def thread_html(rng, number, locations, size):
    """A thread page that names itself after its number, referring to every image, padded with
    Japanese replies up to about size bytes of HTML."""
    thumb = locations[0] if locations else TEMP + "NONE.tmp"
    rows = ["<html><head><title>\u753b\u50cf\u63b2\u793a\u677f</title></head><body>",
            "<form action=\"post.php\" method=POST>",
            "\u753b\u50cf\u30d5\u30a1\u30a4\u30eb\u540d\uff1a<a href=\"http://img.example/b/src/"
            "%d.jpg\" target=\"_blank\">%d.jpg</a>-(51234 B) <small>\u30b5\u30e0\u30cd\u8868"
            "\u793a</small><br>" % (number * 100, number * 100),
            "<a href=\"http://img.example/b/src/%d.jpg\" target=\"_blank\"><img src=\"%s\" "
            "border=0 align=left width=100 height=80></a>" % (number * 100, thumb),
            "<input type=checkbox name=\"%d\" value=delete>\u7121\u984c Name \u540d\u7121\u3057 "
            "07/10/11(\u6728)12:34:56 No.%d <a class=del href=\"#\">del</a>" % (number, number),
            "<blockquote>\u30b9\u30ec\u3063\u3066\u3002</blockquote>"]
    length = sum(len(r) for r in rows)
    reply = 0
    while length < size or reply < len(locations):
        reply += 1
        image = ("<img src=\"%s\">" % locations[reply]) if reply < len(locations) else ""
        words = "".join(rng.choice("\u3053\u308c\u306f\u30ec\u30b9\u753b\u50cf\u3067\u3059abc ")
                        for _ in range(rng.randint(20, 200)))
        row = ("<table><tr><td>\u30ec\u30b9 07/10/11(\u6728)12:35:10 No.%d %s<blockquote>%s"
               "</blockquote></td></tr></table>" % (number + reply, image, words))
        rows.append(row)
        length += len(row) * 2
    rows.append("</form></body></html>")
    raw = "\n".join(rows).encode("cp932") + b"\n"
    return quopri.encodestring(raw).replace(b"\n", b"\r\n")


def write_part(out, boundary, headers, body_writer):
    out.write(("--" + boundary + "\r\n" + "".join(h + "\r\n" for h in headers) + "\r\n")
              .encode("ascii"))
    body_writer()
    out.write(b"\r\n")


def write_image(out, rng, size, payload):
    """Random bytes (as incompressible as a photo) in base64, 76-column CR LF lines. Sizes are
    multiples of three, so images end without padding and their texts join into one stream."""
    left = size - size % 3
    while left > 0:
        take = min(CHUNK, left)
        take -= take % 3
        text = base64.encodebytes(rng.randbytes(take))
        if payload is not None:
            payload.write(text)
        out.write(text.replace(b"\n", b"\r\n"))
        left -= take


def write_archive(path, rng, html_size, number, image_sizes, tmp_every, payload=None):
    locations = [image_location(rng, number, k, k % tmp_every == 0)
                 for k in range(len(image_sizes))]
    boundary, text = header(rng)
    with open(path, "wb") as out:
        out.write(text)
        page = thread_html(rng, number, locations, html_size)
        write_part(out, boundary, ["Content-Type: text/html;", "\tcharset=\"shift_jis\"",
                                   "Content-Transfer-Encoding: quoted-printable",
                                   "Content-Location: http://img.example/b/res/%d.htm" % number],
                   lambda: out.write(page))
        for location, image_size in zip(locations, image_sizes):
            write_part(out, boundary, ["Content-Type: image/jpeg",
                                       "Content-Transfer-Encoding: base64",
                                       "Content-Location: " + location],
                       lambda s=image_size: write_image(out, rng, s, payload))
        out.write(("--" + boundary + "--\r\n").encode("ascii"))


def image_sizes_for(rng, total, low, high):
    sizes = []
    while total > low:
        s = min(rng.randint(low, high), total)
        sizes.append(s)
        total -= s
    return sizes or [max(3, total)]


def make_large(args):
    rng = random.Random(args.seed)
    size = parse_size(args.size)
    # base64 text is 4/3 of the image bytes plus CR LF per 76 columns: 78/57 in all
    images = image_sizes_for(rng, (size - size // 100) * 57 // 78, 20_000, 900_000)
    payload = open(args.payload, "wb") if args.payload else None
    write_archive(args.out, rng, size // 100, 90000000 + args.seed, images, 4, payload)
    if payload:
        payload.close()


def make_folder(args):
    rng = random.Random(args.seed)
    size = parse_size(args.size)
    os.makedirs(args.dir, exist_ok=True)
    for k in range(args.count):
        images = image_sizes_for(rng, (size - size // 4) * 57 // 78, 2_000, 12_000)
        write_archive(os.path.join(args.dir, "page%05d.mht" % k), rng, size // 8,
                      20000000 + 7 * k, images, 2)


def edge_archive(boundary_line, parts):
    out = ("From: <Saved by Windows Internet Explorer 6>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/related;\r\n" + boundary_line + "\r\n\r\n").encode("latin-1")
    for headers, body in parts:
        out += ("--" + BOUNDARY + "\r\n" + "".join(h + "\r\n" for h in headers) + "\r\n")\
            .encode("latin-1") + body + b"\r\n"
    return out + ("--" + BOUNDARY + "--\r\n").encode("ascii")


def qp_page(html):
    return quopri.encodestring(html).replace(b"\n", b"\r\n")


def big_page(rng, references, special):
    """An HTML page of about 200 KB referring to the temporary images, with special inserted."""
    rows = [b"<html><body>"]
    for k, ref in enumerate(references):
        rows.append(b"<p>reply %d <img src=\"%s\"></p>" % (k, ref.encode("ascii")))
    while sum(len(r) for r in rows) < 200_000:
        rows.append(b"<p>" + bytes(rng.choice(b"abcdefgh ") for _ in range(70)) + b"</p>")
    rows.insert(len(rows) // 2, special)
    return b"\n".join(rows) + b"\n</body></html>\n"


def make_edge(args):
    rng = random.Random(7)
    os.makedirs(args.dir, exist_ok=True)
    temp = ["file:///C:/T/%s.tmp" % name for name in ("a", "B2", "c33", "d")]
    images = [(["Content-Type: image/gif", "Content-Transfer-Encoding: base64",
                "Content-Location: " + t], base64.encodebytes(rng.randbytes(300))
               .replace(b"\n", b"\r\n")) for t in temp]
    declare = "\tboundary=\"" + BOUNDARY + "\""
    html = ["Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable",
            "Content-Location: http://x.example/page.htm"]
    pages = {
        # a reference on a line longer than a piece: the page is rewritten pass by pass
        "big_long_line": b"x" * 12000 + b" <img src=\"" + temp[0].encode() + b"\">",
        # a NUL byte cuts a line in every pass
        "big_nul": b"before\0after <img src=\"" + temp[1].encode() + b"\">",
        # a line just under a piece that outgrows it once a short name becomes a long one
        "big_grows": b"y" * 10170 + (b" " + temp[0].encode()) * 3,
        # lone CR bytes, read back without them
        "big_lone_cr": b"lone\rcr " + temp[2].encode() + b" \r\r end",
        "big_plain": b"<p>nothing odd</p>",
    }
    for name, special in pages.items():
        page = qp_page(big_page(rng, temp, special))
        with open(os.path.join(args.dir, name + ".mht"), "wb") as f:
            f.write(edge_archive(declare, [(html, page)] + images))
    long_text = bytes(rng.choice(b"ABCDEFGHIJ") for _ in range(25000))
    odd = [
        (["Content-Type: text/plain"], long_text + b"\r\nshort\r\n" + b"z" * 10237 + b"\r\n"),
        (["Content-Type: text/plain", "Content-Transfer-Encoding: 7bit"],
         b"\x1b$B$3$s\x1b(B " + long_text[:12000] + b"\r\n"),
        (["Content-Type: image/gif", "Content-Transfer-Encoding: base64",
          "Content-Location: http://x.example/long.gif"],
         base64.b64encode(rng.randbytes(9000)) + b"\r\nQUJD\r\nQUI=\r\nQQ\r\n"),
        (["Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable",
          "Content-Location: http://x.example/odd.htm"],
         b"=41" * 4000 + b"\r\nsoft=\r\nbreak =3d =\r\n=0D=0A lone= \r\n=00nul\r\n"),
        (["Content-Type: application/octet-stream; name=\"a.bin\"; filename=first.bin; "
          "FILENAME=second.bin; filename=filename=third.bin", "Content-Transfer-Encoding: 8bit"],
         b"eight\x80bit\r\n"),
    ]
    with open(os.path.join(args.dir, "odd_lines.mht"), "wb") as f:
        f.write(edge_archive("\tboundary=\"" + BOUNDARY + "\"; x=boundary=\"other\"boundary="
                             "\"" + BOUNDARY + "\"", odd))


def make_closeout(args):
    """One page naming COUNT ".tmp" images, then the images: tiny parts, so that the run's time
    is the close-out's (the renames and the page's rewrite)."""
    with open(args.out, "wb") as out:
        out.write(("MIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n\tboundary=\""
                   + BOUNDARY + "\"\r\n\r\n").encode("ascii"))
        page = ["<html><body>No.12345678 <small>\u30b5\u30e0\u30cd\u8868\u793a</small>"]
        for k in range(args.count):
            page.append("<img src=\"file:///C:/T%07d.tmp\">" % k)
        page.append("</body></html>")
        html = "\r\n".join(page).encode("cp932") + b"\r\n"
        write_part(out, BOUNDARY, ["Content-Type: text/html",
                                   "Content-Location: http://board.example/res/12345678.htm"],
                   lambda: out.write(html))
        for k in range(args.count):
            write_part(out, BOUNDARY, ["Content-Type: image/gif",
                                       "Content-Transfer-Encoding: base64",
                                       "Content-Location: file:///C:/T%07d.tmp" % k],
                       lambda: out.write(b"R0lGODlh\r\n"))
        out.write(("--" + BOUNDARY + "--\r\n").encode("ascii"))


def make_parts(args):
    with open(args.out, "wb") as out:
        out.write(("Content-Type: multipart/related; boundary=\"" + BOUNDARY + "\"\r\n\r\n")
                  .encode("ascii"))
        for k in range(args.count):
            out.write(("--%s\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
                       "Content-Location: http://img.example/p%d.gif\r\n\r\nR0lGODlh\r\n"
                       % (BOUNDARY, k)).encode("ascii"))
        out.write(("--" + BOUNDARY + "--\r\n").encode("ascii"))


def make_declarations(args):
    size = parse_size(args.size)
    with open(args.out, "wb") as out:
        out.write(b"Content-Type: multipart/related; boundary=\"top\"\r\n\r\n--top\r\n")
        written = 0
        if args.form == "lines":
            k = 0
            while written < size:
                line = b"Content-Type: multipart/mixed; boundary=\"b%d\"\r\n" % k
                out.write(line)
                written += len(line)
                k += 1
        else:
            out.write(b"Content-Type: multipart/mixed; ")
            chunk = b"boundary=" + b"x" * 1015
            while written < size:
                out.write(chunk)
                written += len(chunk)
        out.write(b"\r\n\r\n--top--\r\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    large = sub.add_parser("large")
    large.add_argument("size")
    large.add_argument("out")
    large.add_argument("--payload")
    large.add_argument("--seed", type=int, default=1)
    folder = sub.add_parser("folder")
    folder.add_argument("count", type=int)
    folder.add_argument("size")
    folder.add_argument("dir")
    folder.add_argument("--seed", type=int, default=1)
    closeout = sub.add_parser("closeout")
    closeout.add_argument("count", type=int)
    closeout.add_argument("out")
    edge = sub.add_parser("edge")
    edge.add_argument("dir")
    parts = sub.add_parser("parts")
    parts.add_argument("count", type=int)
    parts.add_argument("out")
    declarations = sub.add_parser("declarations")
    declarations.add_argument("form", choices=["lines", "line"])
    declarations.add_argument("size")
    declarations.add_argument("out")
    args = parser.parse_args()
    if args.command == "large":
        make_large(args)
    elif args.command == "folder":
        make_folder(args)
    elif args.command == "closeout":
        make_closeout(args)
    elif args.command == "parts":
        make_parts(args)
    elif args.command == "declarations":
        make_declarations(args)
    else:
        make_edge(args)


if __name__ == "__main__":
    main()
