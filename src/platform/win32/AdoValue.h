#pragma once
// How a field value ADO hands over becomes the value the export reads: the record set's
// conversion, on its own so that it can be fed every kind of VARIANT a provider may return.
#include "platform/win32/WinApi.h"

#include <oleauto.h>

#include "platform/Database.h"

namespace zc::win32 {

// Null and empty as null; text as stored (UTF-8); whole numbers as decimal digits; other
// numbers in invariant notation ("1.5", never a regional "1,5"); a date as
// "YYYY-MM-DD HH:MM:SS". A by-reference value converts as the value it points to.
void ToFieldValue(const VARIANT& v, FieldValue& value);

}  // namespace zc::win32
