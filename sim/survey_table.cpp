#include "sim/survey_table.h"

#include <cstdio>

namespace sim {
namespace {

std::string Row(const std::string& type, const std::string& member, const std::string& id,
                const std::string& text)
{
    char row[64];
    std::snprintf(row, sizeof row, "%-6s%-8s%-12s", type.c_str(), member.c_str(), id.c_str());
    return row + text + "\n";
}

std::string ErrorNote(DWORD error)
{
    return "(error " + std::to_string(error) + ")";
}

std::string MemberRow(int type, const SurveyedInterface& member)
{
    std::string id = member.id == -1 ? "-" : std::to_string(member.id);
    std::string text = member.path;
    if (member.error != 0)
        text += (text.empty() ? "" : " ") + ErrorNote(member.error);
    return Row(std::to_string(type), std::to_string(member.index), id, text);
}

std::string Count(size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string SurveyTable(const std::vector<ClassSurvey>& surveys)
{
    std::string table = Row("Type", "Member", "Camera id", "Device path");
    size_t identified = 0;
    for (const ClassSurvey& survey : surveys) {
        std::string type = std::to_string(survey.cameraType);
        if (!survey.listed) {
            table += Row(type, "-", "-", "class not listed " + ErrorNote(survey.error));
            continue;
        }
        if (survey.interfaces.empty())
            table += Row(type, "-", "-", "no device");
        for (const SurveyedInterface& member : survey.interfaces) {
            table += MemberRow(survey.cameraType, member);
            if (member.id != -1)
                ++identified;
        }
    }
    table += Count(identified, "camera", "cameras") + " identified in " +
             Count(surveys.size(), "class", "classes") + ".\n";
    return table;
}

} // namespace sim
