#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"
#include "server/Server.h"

namespace zc {

std::array<std::string, 5> Boundaries;

namespace {

constexpr uint32_t kBoundarySeed = 20040105;

std::mt19937& Generator() {
    static std::mt19937 generator(kBoundarySeed);
    return generator;
}

const char* const kCrLf = "\r\n";

}  // namespace

void InitBoundaries() {
    Boundaries = {"Enter_The_Dragon", "Pirates_of_the_Caribbean", "Final_Fantasy_The_Spirit_Within",
                  "Mortal_Kombat_Deadly_Alliance", "The_Return_of_The_King"};
}

size_t DrawBoundaryIndex() {
    // r uniform in [0, 1): a 32-bit draw over 2^32 can never reach 1.
    double r = static_cast<double>(Generator()()) / 4294967296.0;
    return static_cast<size_t>(r * static_cast<double>(Boundaries.size()));
}

void RestartBoundaryDraws() { Generator().seed(kBoundarySeed); }

std::string FormDataPart(MainForm& f, std::string name, std::string value, std::string disposition,
                         std::string contentType, std::string transferEncoding) {
    if (disposition.empty()) disposition = "form-data";
    std::string part = "Content-Disposition: " + disposition + "; name=\"" + name + "\"";
    // The text travels in the PC's 8-bit code page, as the export file does; a file's bytes as
    // they are.
    if (disposition != "attachment") {
        part += kCrLf;
        part += kCrLf;
        part += value;
        return ToCodePage(part);
    }
    if (contentType.empty()) contentType = "application/octate-stream";
    if (transferEncoding.empty()) transferEncoding = "binary";
    part += "; filename=\"" + value + "\"" + kCrLf;
    part += "Content-Type: " + contentType + kCrLf;
    part += "Content-Transfer-Encoding: " + transferEncoding + kCrLf;
    part += kCrLf;
    part = ToCodePage(part);
    std::vector<uint8_t> content = f.os.files.ReadBinary(value);
    // Appended from the raw bytes: from iterators the library would build a whole temporary copy.
    part.append(reinterpret_cast<const char*>(content.data()), content.size());
    return part;
}

std::string ChooseBoundary(size_t drawn, const std::vector<std::string>& parts) {
    for (size_t step = 0; step < Boundaries.size(); ++step) {
        const std::string& word = Boundaries[(drawn + step) % Boundaries.size()];
        std::string delimiter = "--" + word;
        bool occurs = false;
        for (const std::string& part : parts) occurs = occurs || part.find(delimiter) != std::string::npos;
        if (!occurs) return word;
    }
    throw Error(-700, "Unable to choose a multipart boundary");
}

std::string MultipartBody(const std::string& boundary, const std::vector<std::string>& parts) {
    size_t size = boundary.size() + 4;
    for (const std::string& part : parts) size += part.size() + boundary.size() + 6;
    std::string body;
    body.reserve(size);
    for (const std::string& part : parts) {
        body += "--";
        body += boundary;
        body += kCrLf;
        body += part;
        body += kCrLf;
    }
    body += "--";
    body += boundary;
    body += "--";
    return body;
}

std::string MultipartContentType(const std::string& boundary) {
    return "multipart/form-data, boundary=" + boundary;
}

}  // namespace zc
