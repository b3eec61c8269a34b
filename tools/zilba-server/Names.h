#pragma once
// Names that come in requests and become paths below the data folder. Each check refuses
// anything that could reach outside it, with a message saying why.
#include <optional>
#include <string>
#include <string_view>

namespace zilba_server {

// One folder or file name taken from a request (a site, an import file): a plain name,
// with no separators, no "." or "..", no control bytes.
bool IsPlainName(std::string_view name, std::string& error);

// The relative folder below the data folder that an up_path such as
// "/zilba/bnwck/p_zilba/import" names, without a leading '/'.
std::optional<std::string> UploadFolder(std::string_view upPath, std::string& error);

// The name to store an upload under: the base name of the sender's path, which may be a
// Windows path ("C:\My Documents\...\x.txt") or a POSIX one.
std::optional<std::string> UploadName(std::string_view filename, std::string& error);

}  // namespace zilba_server
