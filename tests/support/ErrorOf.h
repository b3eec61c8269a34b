#pragma once
// The error a step raised, for the Linux and the Windows tests alike.
#include <gtest/gtest.h>

#include "platform/Error.h"

namespace zc::test {

// The error `call` raised; a test failure (and error 0) when it raised none.
template <class Call>
Error ErrorOf(const Call& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return Error(0, "");
}

}  // namespace zc::test
