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

// Checks that a call ends with the error of that number, and that its
// description says the words given.
inline void expectError(const std::function<void()> &call, int number, const QString &words)
{
    const OperationError error = errorOf(call);
    EXPECT_EQ(error.number(), number);
    EXPECT_TRUE(error.description().contains(words)) << error.description().toStdString();
}
