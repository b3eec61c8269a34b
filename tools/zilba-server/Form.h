#pragma once
// The upload's multipart body, read from the raw bytes: the program writes a comma before
// "boundary=" and calls its file part an "attachment", which stricter readers refuse.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zilba_server {

struct FormPart {
    std::string disposition;              // "form-data" or "attachment", lower case
    std::string name;                     // the name= parameter
    std::optional<std::string> filename;  // the filename= parameter, as the sender wrote it
    std::string_view content;             // the part's bytes, inside the body that was split
};

struct Form {
    std::vector<FormPart> parts;
    std::string error;  // empty when the body was read; else why not, in one line
};

// The boundary named by a multipart/form-data Content-Type, with ',' or ';' before
// "boundary=" and the value quoted or not. nullopt, with `error` set, when there is none.
std::optional<std::string> FormBoundary(std::string_view contentType, std::string& error);

// Splits the body into its parts. The parts' content points into `body`.
Form SplitForm(std::string_view body, const std::string& boundary);

}  // namespace zilba_server
