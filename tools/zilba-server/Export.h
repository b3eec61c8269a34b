#pragma once
// Checks an uploaded export file's records, as the field organisation's import does before it
// takes the events in.
#include <cstddef>
#include <string>
#include <string_view>

namespace zilba_server {

struct ExportCheck {
    bool ok = false;
    size_t events = 0;  // EVENT records, when ok
    size_t line = 0;    // when not ok: the first bad line, counted from 1
    std::string problem;
};

ExportCheck CheckExport(std::string_view text);

}  // namespace zilba_server
