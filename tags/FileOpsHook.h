#pragma once
// Inside the file layer only: asks the fault hook whether an operation is to fail.
#include "FileOps.h"

namespace tags::fileops::detail {

// The error number the hook wants for this operation, or 0.
int Injected(Op op, const std::string &path);

} // namespace tags::fileops::detail
