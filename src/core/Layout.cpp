#include "core/Layout.h"

#include "platform/Paths.h"

namespace zc {

std::string ExportFolder(MainForm& f) { return f.ui.Text(Field::LocalDir) + kSep + "Export"; }
std::string UploadFolder(MainForm& f) { return f.ui.Text(Field::LocalDir) + kSep + "Upload"; }

}  // namespace zc
