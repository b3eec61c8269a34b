#include <cctype>
#include <cstdint>
#include <string>

#include "app/Form.h"
#include "platform/Error.h"

namespace zc {

namespace {

// The counter's text as a signed 16-bit integer: surrounding spaces allowed, a sign, digits.
int16_t ParseCounter(const std::string& text) {
    size_t i = 0, end = text.size();
    while (i < end && text[i] == ' ') ++i;
    while (end > i && text[end - 1] == ' ') --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == end) RaiseTypeMismatch();
    int64_t value = 0;
    for (; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) RaiseTypeMismatch();
        value = value * 10 + (text[i] - '0');
        if (value > 100000) RaiseOverflow();
    }
    if (negative) value = -value;
    if (value > INT16_MAX || value < INT16_MIN) RaiseOverflow();
    return static_cast<int16_t>(value);
}

}  // namespace

void IncrementCounter(MainForm& f, Field counter) {
    int16_t value = ParseCounter(f.ui.Text(counter));
    if (value == INT16_MAX) RaiseOverflow();
    f.ui.SetText(counter, std::to_string(value + 1));
    f.ui.Refresh();
}

}  // namespace zc
