#include "session_plan.h"

#include <cstdio>
#include <sstream>

#include "arguments.h"

namespace capture {
namespace {

std::string BinningText(const CameraFacts& facts, int code)
{
    int binX = 1, binY = 1;
    if (code >= 0 && (size_t)code < facts.binningNames.size())
        BinningFactors(facts.binningNames[(size_t)code], &binX, &binY);
    return std::to_string(binX) + "x" + std::to_string(binY);
}

const struct {
    FrameKind kind;
    const char* name;
} kKinds[] = {{FrameKind::Bias, "bias"}, {FrameKind::Dark, "dark"}, {FrameKind::Flat, "flat"},
              {FrameKind::Light, "light"}};

std::string Number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string Join(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

bool ParseWhole(const std::string& text, int low, int high, int* value)
{
    double real = 0.0;
    if (!ParseNumber(text, &real) || real != std::floor(real) || real < low || real > high)
        return false;
    *value = (int)real;
    return true;
}

std::string ParseGroup(const std::vector<std::string>& words, FrameGroup* group)
{
    bool known = false;
    for (const auto& k : kKinds)
        if (words[0] == k.name) {
            group->kind = k.kind;
            known = true;
        }
    if (!known)
        return "'" + words[0] + "' is neither a setting nor a frame kind (bias, dark, flat, light)";
    if (words.size() != 5)
        return "a " + words[0] + " line holds: kind count seconds filter binning";
    if (!ParseWhole(words[1], 1, 10000, &group->count))
        return "count '" + words[1] + "' is not valid: give 1 to 10000 frames";
    if (words[2] == "auto" && group->kind == FrameKind::Flat)
        group->seconds = NAN;
    else if (!ParseNumber(words[2], &group->seconds) || !CheckExposureTime(group->seconds).empty())
        return "exposure time '" + words[2] + "' is not valid: give 0 to 3600 seconds" +
               (group->kind == FrameKind::Flat ? ", or auto" : "");
    if (group->kind == FrameKind::Bias && group->seconds != 0.0)
        return "a bias has no exposure time: give 0";
    group->filter = 0;
    if (words[3] != "-" && !ParseWhole(words[3], 1, 16, &group->filter))
        return "filter '" + words[3] + "' is not valid: give a position from 1 to 16, or - for none";
    if (!ParseWhole(words[4], 0, 15, &group->binningCode))
        return "binning code '" + words[4] + "' is not valid: give 0 to 15";
    return std::string();
}

std::string ParseSetting(const std::vector<std::string>& words, SessionPlan* plan)
{
    const std::string& key = words[0];
    if (words.size() != 2)
        return "'" + key + "' takes one value";
    const std::string& value = words[1];
    if (key == "subframe")
        return ParseSubframe(value, &plan->subframe);
    if (key == "filter-names") {
        plan->filterNames.clear();
        std::istringstream in(value);
        std::string name;
        while (std::getline(in, name, ','))
            plan->filterNames.push_back(name);
        return std::string();
    }
    double number = 0.0;
    if (!ParseNumber(value, &number))
        return key + " '" + value + "' is not a number";
    if (key == "target") {
        plan->target = number;
        return CheckTemperature(number);
    }
    if (key == "tolerance" && number >= 0.05 && number <= 10)
        plan->tolerance = number;
    else if (key == "settle" && number >= 0 && number <= 3600)
        plan->settleSeconds = number;
    else if (key == "flat-level" && number >= 1000 && number <= 60000)
        plan->flatLevel = number;
    else
        return key + " " + value + " is out of range: tolerance 0.05 to 10 C, settle 0 to 3600 s, flat-level 1000 "
                                   "to 60000 ADU";
    return std::string();
}

} // namespace

std::string FilterName(int position, const std::vector<std::string>& names)
{
    if (position >= 1 && (size_t)position <= names.size() && !names[(size_t)position - 1].empty())
        return names[(size_t)position - 1];
    return "Position " + std::to_string(position);
}

std::string FrameFileName(const ExposureRequest& request, const std::string& binning, int number,
                          const std::string& extension)
{
    std::string name = KindName(KindOf(request));
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
    return name + "_" + binning + "_" + serial + extension;
}

std::vector<FrameGroup> SessionGroups(const SessionSettings& settings, const CameraFacts& facts)
{
    std::vector<FrameGroup> groups;
    auto add = [&groups](FrameKind kind, int count, double seconds, int filter, int code) {
        if (count > 0)
            groups.push_back(FrameGroup{kind, count, seconds, filter, code});
    };
    for (int code : settings.binnings)
        add(FrameKind::Bias, settings.biases, 0.0, 0, code);
    for (int code : settings.binnings)
        add(FrameKind::Dark, settings.darks, settings.darkSeconds, 0, code);
    std::vector<int> filters = settings.filters;
    if (facts.filterPositions <= 0)
        filters = {0};
    for (int filter : filters)
        for (int code : settings.binnings)
            add(FrameKind::Flat, settings.flats, NAN, filter, code);
    for (int filter : filters)
        for (int code : settings.binnings)
            add(FrameKind::Light, settings.lights, settings.lightSeconds, filter, code);
    return groups;
}

std::vector<PlannedFrame> PlanFrames(const std::vector<FrameGroup>& groups, const CameraFacts& facts,
                                     const Subframe& subframe, const std::vector<std::string>& filterNames,
                                     const std::string& extension)
{
    std::vector<PlannedFrame> plan;
    for (size_t g = 0; g < groups.size(); ++g) {
        const FrameGroup& group = groups[g];
        ExposureRequest request;
        request.subframe = subframe;
        request.kind = group.kind;
        request.light = group.kind == FrameKind::Light || group.kind == FrameKind::Flat;
        request.seconds = std::isnan(group.seconds) ? 0.0 : group.seconds;
        request.filter = facts.filterPositions > 0 ? group.filter : 0;
        request.filterName = request.filter > 0 ? FilterName(request.filter, filterNames) : std::string();
        request.binningCode = group.binningCode;
        for (int i = 0; i < group.count; ++i) {
            int number = (int)plan.size() + 1;
            request.frameNumber = number;
            plan.push_back(PlannedFrame{
                request, FrameFileName(request, BinningText(facts, group.binningCode), number, extension), (int)g});
        }
    }
    for (PlannedFrame& frame : plan)
        frame.request.frameCount = (int)plan.size();
    return plan;
}

std::vector<PlannedFrame> PlanSession(const SessionSettings& settings, const CameraFacts& facts,
                                      const std::vector<std::string>& filterNames)
{
    return PlanFrames(SessionGroups(settings, facts), facts, settings.subframe, filterNames);
}

std::string PlanText(const SessionPlan& plan)
{
    const Subframe& s = plan.subframe;
    std::string text = "# r6odi-capture session plan: 'r6odi-capture session --plan FILE' takes it again.\n"
                       "# Settings, then one line per group of frames, taken in this order.\n";
    text += "target " + Number(plan.target) + "\ntolerance " + Number(plan.tolerance) + "\nsettle " +
            Number(plan.settleSeconds) + "\nflat-level " + Number(plan.flatLevel) + "\nsubframe " + Number(s.x) +
            "," + Number(s.y) + "," + Number(s.width) + "," + Number(s.height) + "\nfilter-names " +
            Join(plan.filterNames) + "\n# kind count seconds filter binning-code\n";
    for (const FrameGroup& g : plan.groups) {
        const char* kind = "light";
        for (const auto& k : kKinds)
            if (k.kind == g.kind)
                kind = k.name;
        text += std::string(kind) + " " + std::to_string(g.count) + " " +
                (std::isnan(g.seconds) ? std::string("auto") : Number(g.seconds)) + " " +
                (g.filter > 0 ? std::to_string(g.filter) : std::string("-")) + " " + std::to_string(g.binningCode) +
                "\n";
    }
    return text;
}

std::string ParsePlan(const std::string& text, SessionPlan* plan)
{
    SessionPlan parsed;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(word);
        if (words.empty())
            continue;
        std::string problem;
        bool setting = words[0] == "target" || words[0] == "tolerance" || words[0] == "settle" ||
                       words[0] == "flat-level" || words[0] == "subframe" || words[0] == "filter-names";
        if (words[0] == "filter-names" && words.size() > 2) {
            // Names may hold blanks: the rest of the line is the list.
            std::string rest = line.substr(0, line.find('#'));
            rest = rest.substr(rest.find("filter-names") + 12);
            rest = rest.substr(rest.find_first_not_of(" \t"));
            words = {words[0], rest.substr(0, rest.find_last_not_of(" \t\r") + 1)};
        }
        if (setting) {
            problem = ParseSetting(words, &parsed);
        } else {
            FrameGroup group;
            problem = ParseGroup(words, &group);
            parsed.groups.push_back(group);
        }
        if (!problem.empty())
            return "line " + std::to_string(number) + ": " + problem;
    }
    if (parsed.groups.empty())
        return "it holds no frames: add lines such as 'light 10 60 1 0'";
    *plan = parsed;
    return std::string();
}

std::string SummaryTable(const std::vector<SummaryRow>& rows)
{
    std::string table;
    char line[256];
    std::snprintf(line, sizeof line, "%-28s %-5s %8s %-10s %-7s %8s %9s %6s %6s\n", "File", "Type", "Time [s]",
                  "Filter", "Binning", "Temp [C]", "Mean", "Min", "Max");
    table += line;
    for (const SummaryRow& row : rows) {
        char celsius[16] = "-";
        if (!std::isnan(row.celsius))
            std::snprintf(celsius, sizeof celsius, "%.2f", row.celsius);
        std::snprintf(line, sizeof line, "%-28s %-5s %8.1f %-10s %-7s %8s %9.1f %6u %6u\n", row.file.c_str(),
                      KindName(row.kind), row.seconds, row.filter.empty() ? "-" : row.filter.c_str(),
                      row.binning.c_str(), celsius, row.stats.mean, (unsigned)row.stats.minimum,
                      (unsigned)row.stats.maximum);
        table += line;
    }
    return table;
}

} // namespace capture
