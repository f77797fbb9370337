#pragma once

#include "core/operationerror.h"

#include <optional>

// The continue-on-failure mode of the dialog's OK: each operation is tried,
// a failure is kept (the latest one wins) and the caller goes on; it looks
// at what is pending only at its checkpoints.
class PendingFailure
{
public:
    template<typename Operation>
    void attempt(Operation &&operation)
    {
        try {
            operation();
        } catch (const OperationError &error) {
            m_error = error;
        }
    }

    explicit operator bool() const { return m_error.has_value(); }
    QString description() const { return m_error ? m_error->description() : QString(); }

private:
    std::optional<OperationError> m_error;
};
