#pragma once

// The program's general exception: a message for the user, nothing else. Failures inside the
// engine and the settings store are raised as this and shown or dropped by their callers.

#include <stdexcept>
#include <string>

namespace kestrine {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

} // namespace kestrine
