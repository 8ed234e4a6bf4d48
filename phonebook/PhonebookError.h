#pragma once

#include <QString>
#include <stdexcept>

// A failure of the phone book store or its view. The message is what the user
// sees in the error box, in UTF-8.
class PhonebookError : public std::runtime_error {
public:
    explicit PhonebookError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
