#pragma once
// An independent reader and writer of tags for the window tests: mutagen for
// the ID3v2 tag, plain bytes for the ID3v1 record, both in /usr/bin/python3.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace oracle {

inline const char *kScript = R"PY(
import sys, json, hashlib
import mutagen.id3 as m

def v1(path):
    with open(path, 'rb') as f:
        data = f.read()
    if len(data) < 128 or data[-128:-125] != b'TAG':
        return None
    r = data[-128:]
    text = lambda b: b.split(b'\0')[0].rstrip(b' ').decode('cp1252')
    return {'title': text(r[3:33]), 'artist': text(r[33:63]), 'album': text(r[63:93]),
            'year': text(r[93:97]), 'comment': text(r[97:125]),
            'track': r[126] if r[125] == 0 else -1, 'genre': r[127]}

def read(path):
    out = {'v1': v1(path)}
    try:
        t = m.ID3(path, translate=False)
    except m.ID3NoHeaderError:
        out['v2'] = None
        return out
    v2 = {'version': '2.%d' % t.version[1]}
    for k in ('TPE1', 'TIT2', 'TALB', 'TYER', 'TDRC', 'TRCK', 'TCON'):
        if k in t:
            v2[k] = str(t[k])
    comms = t.getall('COMM')
    if comms:
        v2['COMM'] = str(comms[0])
    pics = t.getall('APIC')
    if pics:
        v2['APIC'] = hashlib.sha256(pics[0].data).hexdigest()
    out['v2'] = v2
    return out

def write(path, wanted):
    frames = wanted.get('v2')
    if frames is not None:
        t = m.ID3()
        for k, v in frames.items():
            if k == 'COMM':
                t.add(m.COMM(encoding=1, lang='eng', desc='', text=v))
            elif k == 'APIC':
                t.add(m.APIC(encoding=0, mime='image/png', type=3, desc='', data=bytes.fromhex(v)))
            else:
                t.add(getattr(m, k)(encoding=1, text=v))
        t.save(path, v2_version=3, v1=0)
    r = wanted.get('v1')
    if r is not None:
        field = lambda s, n: s.encode('cp1252')[:n].ljust(n, b'\0')
        rec = (b'TAG' + field(r.get('title', ''), 30) + field(r.get('artist', ''), 30) +
               field(r.get('album', ''), 30) + field(r.get('year', ''), 4) + field(r.get('comment', ''), 28) +
               b'\0' + bytes([r.get('track', 0), r.get('genre', 255)]))
        with open(path, 'ab') as f:
            f.write(rec)

if sys.argv[1] == 'read':
    print(json.dumps({p: read(p) for p in sys.argv[2:]}))
else:
    write(sys.argv[2], json.loads(sys.argv[3]))
)PY";

inline bool Have() {
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import mutagen")});
    return py.waitForFinished(30000) && py.exitStatus() == QProcess::NormalExit && py.exitCode() == 0;
}

// {path: {"v1": {...} or null, "v2": {"TPE1": ..., "version": "2.3"} or null}}
inline QJsonObject Read(const QStringList &paths) {
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             QStringList{QStringLiteral("-c"), QString::fromUtf8(kScript), QStringLiteral("read")} + paths);
    if (!py.waitForFinished(60000) || py.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(py.readAllStandardOutput()).object();
}

inline QJsonObject ReadOne(const QString &path) { return Read({path}).value(path).toObject(); }

// wanted: {"v2": {"TPE1": "...", "COMM": "...", "APIC": "<hex>"}, "v1": {"artist": ..., "track": 5}}
inline bool Write(const QString &path, const QJsonObject &wanted) {
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), QString::fromUtf8(kScript), QStringLiteral("write"), path,
              QString::fromUtf8(QJsonDocument(wanted).toJson(QJsonDocument::Compact))});
    return py.waitForFinished(60000) && py.exitStatus() == QProcess::NormalExit && py.exitCode() == 0;
}

// The audio of an MP3 file: without a leading ID3v2 tag and a trailing ID3v1 record.
inline QByteArray Audio(QByteArray bytes) {
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        const auto b = [&](int i) { return static_cast<quint32>(static_cast<unsigned char>(bytes[i]) & 0x7f); };
        const quint32 size = (b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9);
        bytes = bytes.mid(10 + size);
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

} // namespace oracle
