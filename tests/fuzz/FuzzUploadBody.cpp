// The stand-in server's reading of an upload: the Content-Type line, the multipart body and the
// names that become paths. Whatever arrives, no crash, and no accepted name leaves the data folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Form.h"
#include "Names.h"

namespace {

void Require(bool condition, const char* what, std::string_view value) {
    if (condition) return;
    std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(value.size()), value.data());
    std::abort();
}

bool LeavesTheFolder(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string_view::npos) return true;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (part == ".." || part == ".") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

// Input: the Content-Type value, a line feed, then the body.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\n');
    if (cut == std::string_view::npos) return 0;
    std::string error;
    auto boundary = zilba_server::FormBoundary(input.substr(0, cut), error);
    if (!boundary) return 0;
    std::string_view body = input.substr(cut + 1);
    zilba_server::Form form = zilba_server::SplitForm(body, *boundary);
    for (const auto& part : form.parts) {
        Require(part.content.empty() || (part.content.data() >= body.data() &&
                    part.content.data() + part.content.size() <= body.data() + body.size()),
                "a part's content lies outside the body", part.name);
        if (auto folder = zilba_server::UploadFolder(part.content, error))
            Require(folder->empty() || !LeavesTheFolder(*folder), "an upload folder leaves the data folder",
                    *folder);
        if (part.filename)
            if (auto name = zilba_server::UploadName(*part.filename, error))
                Require(!name->empty() && *name != "." && *name != ".." &&
                            name->find_first_of("/\\") == std::string::npos,
                        "an upload name is not a plain name", *name);
    }
    return 0;
}
