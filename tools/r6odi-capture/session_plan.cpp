#include "session_plan.h"

#include <cstdio>

namespace capture {
namespace {

std::string BinningText(const CameraFacts& facts, int code)
{
    int binX = 1, binY = 1;
    if (code >= 0 && (size_t)code < facts.binningNames.size())
        BinningFactors(facts.binningNames[(size_t)code], &binX, &binY);
    return std::to_string(binX) + "x" + std::to_string(binY);
}

PlannedFrame Plan(const ExposureRequest& request, const CameraFacts& facts, int number)
{
    PlannedFrame frame{request, FrameFileName(request, BinningText(facts, request.binningCode), number)};
    frame.request.frameNumber = number;
    return frame;
}

} // namespace

std::string FilterName(int position, const std::vector<std::string>& names)
{
    if (position >= 1 && (size_t)position <= names.size() && !names[(size_t)position - 1].empty())
        return names[(size_t)position - 1];
    return "Position " + std::to_string(position);
}

std::string FrameFileName(const ExposureRequest& request, const std::string& binning, int number)
{
    std::string name = request.light ? "light" : "dark";
    if (!request.filterName.empty()) {
        std::string filter;
        for (char c : request.filterName)
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
                filter += c;
        if (!filter.empty())
            name += "_" + filter;
    }
    char serial[16];
    std::snprintf(serial, sizeof serial, "%03d", number);
    return name + "_" + binning + "_" + serial + ".fits";
}

std::vector<PlannedFrame> PlanSession(const SessionSettings& settings, const CameraFacts& facts,
                                      const std::vector<std::string>& filterNames)
{
    std::vector<PlannedFrame> plan;
    ExposureRequest request;
    request.subframe = settings.subframe;
    request.light = false;
    request.seconds = settings.darkSeconds;
    for (int code : settings.binnings) {
        request.binningCode = code;
        for (int i = 0; i < settings.darks; ++i)
            plan.push_back(Plan(request, facts, (int)plan.size() + 1));
    }
    request.light = true;
    request.seconds = settings.lightSeconds;
    std::vector<int> filters = settings.filters;
    if (facts.filterPositions <= 0)
        filters = {0};
    for (int filter : filters) {
        request.filter = filter;
        request.filterName = filter > 0 ? FilterName(filter, filterNames) : std::string();
        for (int code : settings.binnings) {
            request.binningCode = code;
            for (int i = 0; i < settings.lights; ++i)
                plan.push_back(Plan(request, facts, (int)plan.size() + 1));
        }
    }
    for (PlannedFrame& frame : plan)
        frame.request.frameCount = (int)plan.size();
    return plan;
}

std::string SummaryTable(const std::vector<SummaryRow>& rows)
{
    std::string table;
    char line[256];
    std::snprintf(line, sizeof line, "%-28s %-5s %8s %-10s %-7s %8s %9s %6s %6s\n", "File", "Type", "Time [s]",
                  "Filter", "Binning", "Temp [C]", "Mean", "Min", "Max");
    table += line;
    for (const SummaryRow& row : rows) {
        std::snprintf(line, sizeof line, "%-28s %-5s %8.1f %-10s %-7s %8.2f %9.1f %6u %6u\n", row.file.c_str(),
                      row.light ? "light" : "dark", row.seconds, row.filter.empty() ? "-" : row.filter.c_str(),
                      row.binning.c_str(), row.celsius, row.stats.mean, (unsigned)row.stats.minimum,
                      (unsigned)row.stats.maximum);
        table += line;
    }
    return table;
}

} // namespace capture
