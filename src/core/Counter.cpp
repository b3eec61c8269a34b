#include <algorithm>
#include <string>

#include "core/Form.h"
#include "platform/Error.h"

namespace zc {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One more or one less on a run of decimal digits, however long: a count that has run for a
// week goes on growing rather than stopping the run.
std::string AddOne(std::string digits) {
    size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) return '1' + digits;
    ++digits[i - 1];
    return digits;
}

std::string SubtractOne(std::string digits) {  // of a number above zero
    size_t i = digits.size();
    while (digits[i - 1] == '0') digits[--i] = '9';
    --digits[i - 1];
    size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

}  // namespace

void IncrementCounter(MainForm& f, Field counter) {
    // Surrounding spaces, a sign, digits. Anything else is no count the program wrote: the
    // fields are read-only, so it can only be a fault, and it is reported rather than guessed.
    const std::string text = f.ui.Text(counter);
    size_t i = text.find_first_not_of(' '), end = text.find_last_not_of(' ') + 1;
    if (i == std::string::npos) RaiseTypeMismatch();
    bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i == end) RaiseTypeMismatch();
    for (size_t k = i; k < end; ++k)
        if (!IsDigit(text[k])) RaiseTypeMismatch();
    std::string digits = text.substr(i, end - i);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    std::string next = !negative || digits == "0" ? AddOne(digits)
                       : digits == "1"            ? "0"
                                                  : "-" + SubtractOne(digits);
    f.ui.SetText(counter, next);
    f.ui.Refresh();
}

}  // namespace zc
