#include <string>

#include "platform/Error.h"
#include "platform/Paths.h"
#include "server/Server.h"

namespace zc {

void LaunchServerProcess(MainForm& f) {
    std::string file = FileNameOf(f.strExportFile);
    WriteLog(f, "Launching server process: " + GeneralDate(f.os.clock, f.os.clock.Now()));

    std::unique_ptr<HttpRequest> request = f.os.http.CreateRequest();
    std::string server = f.ui.Text(Field::Server);
    std::string site = f.ui.Text(Field::Site);
    const std::string url = LaunchUrl(server, site, file);
    request->Open("GET", url, false);
    // A Resend asks for the same address again: the answer must come from the server, never
    // from a cache on the way.
    request->SetRequestHeader("Cache-Control", "no-cache");
    request->SetRequestHeader("If-Modified-Since", "Thu, 01 Jan 1970 00:00:00 GMT");
    try {
        request->Send({});
    } catch (const Error& e) {
        if (e.number() != kErrNoAnswer) throw;
        // The server has the request and may still be importing: sending the file again could
        // import its rows twice.
        f.delivery.importUnanswered = true;
        throw Error(kErrNoAnswer, e.description() + ". It may still be importing " + file +
                                      ": check on the server that it was imported before you send it again.");
    }
    f.delivery.importStatus = request->Status();
    WriteLog(f, "Status: " + std::to_string(f.delivery.importStatus));
    // An answer from a page a redirect led to elsewhere says nothing of the import.
    if (!SameServer(url, request->ResponseUrl())) {
        f.delivery.importElsewhere = AnsweredElsewhereText(*request);
        WriteLog(f, "  ..Not confirmed: " + f.delivery.importElsewhere);
    }
    WriteLog(f, request->ResponseText());
    WriteLog(f, "Server process complete: " + GeneralDate(f.os.clock, f.os.clock.Now()));
}

}  // namespace zc
