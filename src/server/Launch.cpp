#include <string>

#include "platform/Paths.h"
#include "server/Server.h"

namespace zc {

void LaunchServerProcess(MainForm& f) {
    size_t cut = f.strExportFile.rfind(kSep);
    std::string file = cut == std::string::npos ? f.strExportFile : f.strExportFile.substr(cut + 1);
    WriteLog(f, "Launching server process: " + GeneralDate(f.os.clock, f.os.clock.Now()));

    std::unique_ptr<HttpRequest> request = f.os.http.CreateRequest();
    std::string server = f.ui.Text(Field::Server);
    std::string site = f.ui.Text(Field::Site);
    request->Open("GET",
                  "http://" + server + "/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO" + "&site=" + site +
                      "&file=" + file,
                  false);
    request->Send({});
    WriteLog(f, "Status: " + std::to_string(request->Status()));
    WriteLog(f, request->ResponseText());
    WriteLog(f, "Server process complete: " + GeneralDate(f.os.clock, f.os.clock.Now()));
}

}  // namespace zc
