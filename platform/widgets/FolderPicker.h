#pragma once
// The system's folder picker.
#include "FileUtils.h"

#include <QString>

class QWidget;

namespace platform {

// Shows the folder picker and returns the chosen folder's full path in native form
// (no trailing separator except for a drive root), or "" when cancelled.
QString BrowseFolder(int rootFolder = kDrivesFolder, QWidget *parent = nullptr);

} // namespace platform
