#pragma once
// Small text helpers shared by the server's request handling.
#include <cstddef>
#include <string>
#include <string_view>

namespace zilba_server {

std::string Lower(std::string_view s);

// `s` fit for a one-line message: control bytes as \xNN, long texts cut short.
std::string Printable(std::string_view s, size_t limit = 80);

}  // namespace zilba_server
