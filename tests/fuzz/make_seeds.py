#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets, and the regression inputs kept
as text, as the binary files libFuzzer reads. No binary is checked in.

  make_seeds.py OUT      # OUT/seeds/<target>/*, OUT/regressions/<target>/*

Regression inputs live in tests/fuzz/regressions/<target>/: NAME.txt is the
input as it stands (no line end is added), NAME.hex its bytes as hexadecimal
digits (white space and lines starting with "#" are ignored).
"""

import io
import os
import struct
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


# ---- manifests -------------------------------------------------------------

MANIFEST = """<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.2.0.0">
  <package name="core">
    <version>1.2.0.0</version>
    <description>Core files</description>
    <url>http://127.0.0.1:8080/packages/core.zip</url>
    <md5>0123456789ABCDEF0123456789abcdef</md5>
    <pre-actions>
      <action type="sendmessage" description="closing" classname="VelmarMain" title=""
              message="16" wparam="0" lparam="0"/>
    </pre-actions>
    <actions>
      <action type="unzip" file="${this_file}" where="${app_path}"/>
      <action type="copy" from="${app_path}\\\\a.dll" to="${sys32_path}\\\\a.dll" move="false"
              overwrite="true"/>
      <action type="mkdir" dir="${app_path}\\\\logs"/>
      <action type="remove" path="${app_path}\\\\old"/>
      <action type="registry" key="HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMAR\\Velmar Acc"
              valuetype="REG_BINARY" valuename="cert" value="hex:01,02,\\
  03,04" startpos="0"/>
      <action type=" RUN " cmd="${app_path}\\\\setup.exe" args="/quiet" async="false"/>
      <action type="open" file="${app_path}\\\\readme.txt" async="true"/>
      <action type="shortcut" cmd="create" id="16" name="Velmar Acc" target="${app_path}\\\\acc.exe"
              arg="-x" lnkdesc="Velmar" iconfile="" iconindex="0" newitems=""/>
    </actions>
    <post-actions><note>passed over</note><action type="unknown"/></post-actions>
  </package>
  <package name="empty"/>
</updateinfo>
"""

MANIFESTS = {
    "full.xml": MANIFEST,
    "small.xml": "<updateinfo version='2.0.0.0'><package><url>x</url></package></updateinfo>",
    "bom.xml": "\ufeff<updateinfo version='1.0.0.1'><package><description>  a  b  </description>"
               "</package></updateinfo>",
    "quirks.xml": "<!DOCTYPE u [<!ENTITY x 'y'>]><?pi x?><!-- c --><updateinfo version=1.0.0.2 "
                  "a='&lt;&#x41;&#65;&amp;'><![CDATA[<a>]]><package><actions><x type='copy'/>"
                  "</actions></package></updateinfo>",
    "utf8decl.xml": "<?xml version='1.0' encoding='UTF-8'?><updateinfo version='9.9.9.9'>"
                    "<package><description>\u4e2d\u6587</description></package></updateinfo>",
    "nested.xml": "<updateinfo version='3.0.0.0'>" + "<a>" * 40 + "</a>" * 40 + "</updateinfo>",
    "broken.xml": "<updateinfo version='1.0.0.1'>\n<package></updateinfo>",
}


# ---- URLs ------------------------------------------------------------------

URLS = [
    "http://127.0.0.1:8080/update.xml?v=1.0.0.0",
    "HTTPS://User:Pw@Example.COM:443/a/./b/../c%20d/e f?q=1 2#frag",
    "http://[::1]:80/x/../../y",
    "http://h/\x01\x7f\xe4\xb8\xad<>\\^`{|}\"",
    "http://h:65535",
    "ftp://h/x",
    "http://",
    "http://h/" + "a/" * 300,
]


# ---- SplitString: [n][separators][m][trim][text] ---------------------------

SPLITS = [
    b"\x01,\x02 \ta, b ,,c",
    b"\x02,;\x01*a;b,c**",
    b"\x01 \x01 a  b   c",
    b"\x00\x00",
    b"\x03,,,\x03,,,,,,",
]


# ---- .reg files ------------------------------------------------------------

REG = ("Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMAR\\Velmar Acc]\r\n"
       "@=\"/opt/velmar\"\r\n"
       "\"cert\"=hex:00,00,00,10\r\n"
       "\"updateurl\"=\"http://h/u.xml?v=%s\"\r\n"
       "\"n\"=dword:0000ff01\r\n"
       "\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"
       "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
       "\"q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
       "\"long\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
       "  16,17\r\n"
       "\"quote\\\"d\"=\"a\\\\b\"\r\n"
       "\"gone\"=-\r\n"
       "\r\n[-HKCU\\Software\\Old]\r\n"
       "; a comment\r\n[HKCU\\Software\\\u4e2d]\r\n\"x\"=\"\u4e2d\"\r\n")


# ---- .lnk files ------------------------------------------------------------

CLSID = bytes([0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46])


def lnk(flags, link_info=b"", strings=(), id_list=None, extra=b"", unicode=True):
    if unicode:
        flags |= 0x80
    out = struct.pack("<I", 0x4C) + CLSID + struct.pack("<II", flags, 0x20)
    out += struct.pack("<QQQ", 1, 2, 3) + struct.pack("<IiI", 4096, 2, 1)
    out += struct.pack("<HHII", 0, 0, 0, 0)
    if id_list is not None:
        items = b"".join(struct.pack("<H", len(i) + 2) + i for i in id_list) + b"\0\0"
        out += struct.pack("<H", len(items)) + items
    out += link_info
    for s in strings:
        data = s.encode("utf-16-le") if unicode else s.encode("utf-8")
        out += struct.pack("<H", len(s) if unicode else len(data)) + data
    return out + extra + struct.pack("<I", 0)


def link_info_local(path, unicode_path=None):
    header = 0x24 if unicode_path is not None else 0x1C
    volume = struct.pack("<IIII", 0x11, 3, 0, 0x10) + b"\0"
    base = path.encode("utf-8") + b"\0"
    suffix = b"\0"
    volume_off = header
    base_off = volume_off + len(volume)
    suffix_off = base_off + len(base)
    tail = b""
    fields = [volume_off, base_off, 0, suffix_off]
    if unicode_path is not None:
        wide = unicode_path.encode("utf-16-le") + b"\0\0"
        fields += [suffix_off + 1, suffix_off + 1 + len(wide)]
        tail = wide + b"\0\0"
    size = header + len(volume) + len(base) + len(suffix) + len(tail)
    return (struct.pack("<III", size, header, 1) + struct.pack("<%dI" % len(fields), *fields)
            + volume + base + suffix + tail)


def link_info_network(share, suffix):
    header = 0x1C
    name = share.encode() + b"\0"
    net = struct.pack("<IIIII", 0x14 + len(name), 2, 0x14, 0, 0) + name
    suffix_b = suffix.encode() + b"\0"
    net_off = header
    suffix_off = net_off + len(net)
    size = header + len(net) + len(suffix_b)
    return (struct.pack("<IIIIIII", size, header, 2, 0, 0, net_off, suffix_off)
            + net + suffix_b)


LNKS = {
    "local.lnk": lnk(0x02 | 0x04 | 0x20 | 0x40, link_info_local("/opt/velmar/acc"),
                     ["Velmar", "-x", "/opt/velmar/acc.ico"]),
    "unicode.lnk": lnk(0x02 | 0x04, link_info_local("/opt/v", "/opt/\u4e2d\u6587"), ["\u4e2d"]),
    "network.lnk": lnk(0x02 | 0x08 | 0x10, link_info_network("\\\\server\\share", "dir\\f.exe"),
                       ["rel", "work"]),
    "idlist.lnk": lnk(0x01 | 0x20, b"", ["args"], id_list=[b"\x1f\x50" + b"\0" * 16, b"x"],
                      extra=struct.pack("<II", 12, 0xA0000003) + b"\0" * 4),
    "ansi.lnk": lnk(0x04 | 0x20, b"", ["desc\xe9", "a b"], unicode=False),
}


# ---- zip archives ------------------------------------------------------------

def archive(entries, zip64=False, method=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", compression=method, allowZip64=True) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2021, 6, 15, 10, 20, 30))
            info.compress_type = method
            if name.endswith("/"):
                info.external_attr = 0x10
            with z.open(info, "w", force_zip64=zip64) as f:
                f.write(data)
    return buf.getvalue()


ZIPS = {
    "plain.zip": archive([("a.txt", b"hello" * 20), ("dir/", b""), ("dir/b.bin", bytes(range(256)))]),
    "stored.zip": archive([("s.txt", b"stored data")], method=zipfile.ZIP_STORED),
    "zip64.zip": archive([("big.txt", b"z" * 300)], zip64=True),
    "escape.zip": archive([("../up.txt", b"x"), ("a/../../up2.txt", b"y"), ("/abs.txt", b"z"),
                           ("..\\win.txt", b"w"), ("C:/drive.txt", b"d"), ("a/.../b.txt", b"e")]),
    "self.zip": archive([("bin/updater", b"new updater"), ("bin/other", b"o")]),
    "empty.zip": archive([]),
    "many.zip": archive([("f%03d" % i, b"%d" % i) for i in range(40)]),
    "longname.zip": archive([("n" * 300, b"long"), ("d/" * 120 + "f", b"deep")]),
}


# ---- the registry action's hex notation ------------------------------------

HEX = [b"hex:01,02,ff", b"hex:  0a , 0B,\\\n  0c", b"hex:", b"01,02", b"hex:1,22,333",
       b"hex:" + b"ab," * 200 + b"cd"]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def regressions(out):
    source = os.path.join(HERE, "regressions")
    if not os.path.isdir(source):
        return
    for target in sorted(os.listdir(source)):
        for name in sorted(os.listdir(os.path.join(source, target))):
            path = os.path.join(source, target, name)
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".hex"):
                lines = [l for l in data.decode().splitlines() if not l.lstrip().startswith("#")]
                data = bytes.fromhex("".join("".join(lines).split()))
            elif not name.endswith(".txt"):
                continue
            write(os.path.join(out, "regressions", target), name.rsplit(".", 1)[0], data)


# Signatures of minisig_fuzz's manifest by its key, over the digest ("ED") and
# over the text ("Ed"), as minisign wrote them.
MINISIGS = {
    "hashed.minisig": 'untrusted comment: signature from minisign secret key\nRUST0/U7CNU2Paps9ZLzzQLQpdhEn3ExIWWjX0xr323x0TETNhh+0HRihV/Jxn8AHFUv1i9o4g0yuUbBr7YP952SLSOeb6Rabwo=\ntrusted comment: timestamp:1700000000\tfile:update.xml\thashed\nFWpBNcqlN2XtJWkTxrVwW5zTHj8Bx5PQv9XjAiI4ms6QgGrBM1DwJL8d6G1d5ODqsK//SHj/FOpOrD4UOafxAQ==\n',
    "legacy.minisig": 'untrusted comment: signature from minisign secret key\nRWST0/U7CNU2PdWV0EP1SyC9SZzAFE/OGAn34/HU9ZQB1/wmjoJWKriIl4OE0YfihRe1QE+4LczvfeOea/1l7pnOArLAyIOgaQc=\ntrusted comment: timestamp:1700000001\tfile:update.xml\n2VPaHjiuwOvepHx2iAse6NJ2cvc6I4MbdtoetI3SLch3/qY7vz2EvEYalC7/kjXHa6+9/qjUmx5HJB6RIl71Aw==\n',
}


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = argv[1]
    seeds = os.path.join(out, "seeds")
    for name, text in MANIFESTS.items():
        write(os.path.join(seeds, "manifest_fuzz"), name, text)
    for i, url in enumerate(URLS):
        write(os.path.join(seeds, "url_fuzz"), "url%d" % i, url.encode("utf-8", "surrogateescape"))
    for i, data in enumerate(SPLITS):
        write(os.path.join(seeds, "split_string_fuzz"), "split%d" % i, data)
    write(os.path.join(seeds, "reg_import_fuzz"), "utf8.reg", REG)
    write(os.path.join(seeds, "reg_import_fuzz"), "utf16.reg",
          b"\xff\xfe" + REG.encode("utf-16-le"))
    for name, data in LNKS.items():
        write(os.path.join(seeds, "lnk_fuzz"), name, data)
    for name, data in ZIPS.items():
        write(os.path.join(seeds, "zip_fuzz"), name, data)
    for i, data in enumerate(HEX):
        write(os.path.join(seeds, "hex_bytes_fuzz"), "hex%d" % i, data)
    for name, text in MINISIGS.items():
        write(os.path.join(seeds, "minisig_fuzz"), name, text)
    regressions(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
