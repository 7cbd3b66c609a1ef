#pragma once

#include <exception>
#include <string>

// The one error of the system: its message is the whole sentence the user reads.
class OrganizationError : public std::exception {
public:
    explicit OrganizationError(std::string message) : m_message(std::move(message)) {}

    static OrganizationError invalid(std::string message) { return OrganizationError(std::move(message)); }

    const std::string &message() const { return m_message; }
    const char *what() const noexcept override { return m_message.c_str(); }

    bool operator==(const OrganizationError &other) const { return m_message == other.m_message; }

private:
    std::string m_message;
};
