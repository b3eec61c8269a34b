// The stand-in server's check of an uploaded export file: any bytes, no crash, and a file it
// accepts really is framed by START and STOP with no more events than EVENT records.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    zilba_server::ExportCheck check = zilba_server::CheckExport(text);
    if (check.ok) {
        if (!text.starts_with("&&START%%\r\n") || !text.ends_with("&&STOP%%\r\n")) std::abort();
        size_t events = 0;
        for (size_t at = text.find("&&EVENT"); at != std::string_view::npos; at = text.find("&&EVENT", at + 1))
            ++events;
        if (check.events > events) std::abort();
    } else if (check.line == 0 || check.problem.empty()) {
        std::abort();  // a refusal always says where and why
    }
    return 0;
}
