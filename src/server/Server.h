#pragma once
// The server exchange: multipart bodies, the upload of the run's files, the import request.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Form.h"
#include "platform/HttpRequest.h"

namespace zc {

// The boundary words; filled by InitBoundaries at start-up, unchanged afterwards.
extern std::array<std::string, 5> Boundaries;

// Fills the boundary table; called once at start-up.
void InitBoundaries();

// The next boundary index, one draw of the program's generator. The generator starts from a
// fixed seed, so every start of the program gives the same sequence.
size_t DrawBoundaryIndex();
// Puts the generator back where it stands when the program starts.
void RestartBoundaryDraws();

// One part of a multipart body: the header lines, the empty line and the content. The
// disposition "attachment" (exactly) makes a file part whose content is the file at `value`.
std::string FormDataPart(MainForm& f, std::string name, std::string value,
                         std::string disposition = {}, std::string contentType = {},
                         std::string transferEncoding = {});

// The boundary for the parts of one request: the drawn word, or when "--" and that word occur
// in a part, the next word of the table that occurs in none. Raises -700 when all do.
std::string ChooseBoundary(size_t drawn, const std::vector<std::string>& parts);

// Delimiter lines around every part, then the closing delimiter without a line end.
std::string MultipartBody(const std::string& boundary, const std::vector<std::string>& parts);

// The request's Content-Type value; the comma is what the server expects.
std::string MultipartContentType(const std::string& boundary);

// Raised for a setting or a path that would not reach the server as typed.
constexpr int32_t kErrUnsendable = -900;

// The addresses of the upload script and of the import request, as typed settings make them.
std::string UploadUrl(const std::string& server);
std::string LaunchUrl(const std::string& server, const std::string& site, const std::string& file);

// The longest request line servers are relied on to take, counted as sent (a byte that travels
// percent-encoded counts three).
constexpr size_t kMaxRequestUrl = 2000;

// Refuses, naming the setting, a local directory that cannot stand in a part header, a server
// that is no plain host, a site that would change the meaning of the import request, or a
// server and site that make a request longer than servers take. The import request is measured
// with the current export file's name, or while there is none with the one a transfer would
// give it now.
void RefuseUnsendableSettings(MainForm& f);

// True when `answered` (the address that gave the final answer) is on the server `asked`
// names: same host and port, whatever path. A redirect elsewhere (a login page of a guest
// network, a proxy's notice) is no answer of the server's.
bool SameServer(const std::string& asked, const std::string& answered);
// Refuses a file path that cannot stand in a part header; `what` names it in the error.
void RefuseUnsendableFile(const std::string& what, const std::string& path);
// Refuses an export file name that cannot stand in a part header or in the import request.
void RefuseUnsendableExportName(const std::string& what, const std::string& name);

// Refuses the export file's path or a bitmap name of the export folder that cannot stand in a
// part header; the bitmaps the upload would send.
std::vector<std::string> RefuseUnsendableFiles(MainForm& f);

// Why an answer does not count: it came from the page a redirect led to, elsewhere.
std::string AnsweredElsewhereText(HttpRequest& request);

void UploadFiles(MainForm& f);
void LaunchServerProcess(MainForm& f);

}  // namespace zc
