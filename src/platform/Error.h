#pragma once
// The one error type of the program: a number and a description, as the runs report them.
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace zc {

class Error : public std::runtime_error {
public:
    Error(int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}
    int32_t number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Language-level errors keep their classic numbers and texts.
constexpr int32_t kErrOverflow = 6;
constexpr int32_t kErrSubscript = 9;
constexpr int32_t kErrTypeMismatch = 13;

[[noreturn]] inline void RaiseOverflow() { throw Error(kErrOverflow, "Overflow"); }
[[noreturn]] inline void RaiseSubscript() { throw Error(kErrSubscript, "Subscript out of range"); }
[[noreturn]] inline void RaiseTypeMismatch() { throw Error(kErrTypeMismatch, "Type mismatch"); }

// The description a run shows for any error that reached it.
inline std::string DescribeError(const std::exception& e) {
    if (auto* err = dynamic_cast<const Error*>(&e)) return err->description();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "Out of memory";
    return e.what();
}

}  // namespace zc
