#pragma once

#include "core/operationerror.h"

#include <gtest/gtest.h>

#include <functional>

// The error a call ends with. A call that ends without one fails the test
// and gives an error numbered 0 with an empty description.
inline OperationError errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const OperationError &error) {
        return error;
    }
    ADD_FAILURE() << "the call did not fail";
    return OperationError(0, QString());
}
