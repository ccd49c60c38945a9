# Prints what mutagen sees in a file's ID3v2 tag as JSON lines: the title, then one
# line per frame with its fields, encodings left out (2.4 -> 2.3 may change them).
import hashlib, json, sys
from mutagen.id3 import ID3, ID3NoHeaderError


def canon(v):
    if isinstance(v, bytes):
        return "md5:" + hashlib.md5(v).hexdigest()
    if isinstance(v, list):
        return [canon(x) for x in v]
    return str(v)


def opaque(raw, version):
    # Body of a frame mutagen cannot read, without the format bytes that differ by version.
    flags = int.from_bytes(raw[8:10], "big")
    body = raw[10:]
    if version >= 4:
        skip = (1 if flags & 0x40 else 0) + (1 if flags & 0x04 else 0) + (4 if flags & 0x01 else 0)
    else:
        skip = (4 if flags & 0x80 else 0) + (1 if flags & 0x40 else 0) + (1 if flags & 0x20 else 0)
    return [raw[:4].decode("latin-1"), "opaque", canon(body[skip:])]


def out(parts):
    print(json.dumps(parts, ensure_ascii=False))


try:
    tag = ID3(sys.argv[1], load_v1=False)
except ID3NoHeaderError:
    tag = None
out(["title", str(tag["TIT2"]) if tag is not None and "TIT2" in tag else ""])
if tag is not None:
    for f in tag.values():
        parts = [f.FrameID]
        for field in f._framespec + f._optionalspec:
            if field.name != "encoding" and hasattr(f, field.name):
                parts += [field.name, canon(getattr(f, field.name))]
        out(parts)
    for raw in tag.unknown_frames:
        out(opaque(raw, tag.version[1]))
