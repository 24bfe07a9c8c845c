// Diagnostics: the stand-in for the message box through which the libraries
// report a problem they recover from (an XML element that fails to load, for
// instance). A reporter receives the caption and the text; the default one
// writes them to standard error. Tests and the application install their own.
#pragma once

#include <functional>
#include <string>

using TMessageReporter = std::function<void(const std::string& caption, const std::string& text)>;

// Shows (reports) a message; the texts are code-page text.
void ShowMessageBox(const std::string& caption, const std::string& text);

// Installs a reporter for as long as the object lives, then restores the previous one.
class TScopedMessageReporter {
public:
    explicit TScopedMessageReporter(TMessageReporter reporter);
    ~TScopedMessageReporter();
    TScopedMessageReporter(const TScopedMessageReporter&) = delete;
    TScopedMessageReporter& operator=(const TScopedMessageReporter&) = delete;

private:
    TMessageReporter previous_;
};
