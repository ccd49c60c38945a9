#pragma once
// How a new name will fare, told before the run: the folder's own file system may
// refuse it (then the file keeps its old name), or take it here while Windows and the
// FAT and exFAT of USB sticks and memory cards would refuse it (then the file cannot be
// copied to such a device under that name).
#include <QString>

namespace album {

enum class NameFate {
    Fine,
    KeepsOldName,  // refused here
    NotPortable,   // taken here, refused by Windows, FAT and exFAT
};

// `strictHere`: the folder lies on Windows, FAT or exFAT, whose rules hold here too.
NameFate FateOfName(const QString &name, bool strictHere);
// Whether Windows, FAT and exFAT take the name: none of \ / : * ? " < > |, no control
// character, no trailing dot or blank, no device name (CON, AUX, NUL, COM1 ...), at most
// 255 UTF-16 units.
bool PortableName(const QString &name);
// What the preview says of a fate, in German; empty when fine.
QString FateText(NameFate fate);

} // namespace album
