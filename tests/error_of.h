#pragma once

#include "core/support/organization_error.h"

#include <string>

// The message of the `Error` that `action` throws, or "" when it throws none.
template <typename Error = OrganizationError, typename Action>
std::string errorOf(Action &&action)
{
    try {
        action();
    } catch (const Error &error) {
        return error.message();
    }
    return "";
}
