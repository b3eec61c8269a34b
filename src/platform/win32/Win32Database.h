#pragma once
// The database layer: ADO's Connection and Recordset through their COM interfaces, with the
// provider the connection string names (Jet 4.0 for the converted database). Every failure
// carries ADO's own description.
#include <memory>
#include <string>

#include "platform/Database.h"

namespace zc::win32 {

class Win32Database : public Database {
public:
    Win32Database();
    ~Win32Database() override;
    std::unique_ptr<Connection> Open(const std::string& connectionString) override;

private:
    struct Apartment;
    std::unique_ptr<Apartment> apartment_;
};

}  // namespace zc::win32
