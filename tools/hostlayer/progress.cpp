#include "progress.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace r6host {

bool IsTerminal(std::FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void Progress::ClearLive()
{
    if (live_)
        std::fputs("\r\033[K", out_);
    live_ = false;
}

void Progress::Show(const std::string& step, const std::string& text)
{
    bool newStep = step != lastStep_;
    lastStep_ = step;
    if (!terminal_) {
        if (newStep)
            std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!newStep && live_ && now - lastDraw_ < std::chrono::milliseconds(50))
        return;
    lastDraw_ = now;
    ClearLive();
    std::fputs(text.c_str(), out_);
    live_ = true;
    std::fflush(out_);
}

void Progress::Line(const std::string& text)
{
    ClearLive();
    lastStep_.clear();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

} // namespace r6host
