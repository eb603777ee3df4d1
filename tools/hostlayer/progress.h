// Progress of long work: on a terminal one line redrawn in place (an
// exposure counting down, the cooler's ramp); anywhere else (a log, CI) one
// plain line per step, so that the log reads as a list of what happened.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace r6host {

class Progress {
public:
    Progress(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

    // Shows the state of `step`. On a terminal the line is redrawn (at most
    // twenty times a second); otherwise it is printed when the step differs
    // from the last one shown.
    void Show(const std::string& step, const std::string& text);
    // A line that stays: the end of a step, a message.
    void Line(const std::string& text);

    bool Terminal() const { return terminal_; }

private:
    void ClearLive();

    std::FILE* out_;
    bool terminal_;
    bool live_ = false; // a redrawn line stands on the terminal
    std::string lastStep_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Whether the stream is a terminal.
bool IsTerminal(std::FILE* stream);

} // namespace r6host
