#include "platform/diagnostics.h"

#include <cstdio>

#include "platform/codepage.h"

namespace {
thread_local TMessageReporter currentReporter;
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
    if (currentReporter) {
        currentReporter(caption, text);
        return;
    }
    std::string line = caption.empty() ? text : caption + ": " + text;
    std::fprintf(stderr, "%s\n", AnsiToUtf8(line).c_str());
}

TScopedMessageReporter::TScopedMessageReporter(TMessageReporter reporter)
    : previous_(std::move(currentReporter)) {
    currentReporter = std::move(reporter);
}

TScopedMessageReporter::~TScopedMessageReporter() { currentReporter = std::move(previous_); }
