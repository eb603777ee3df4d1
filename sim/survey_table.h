// The survey of the interface classes as a table for people to read.
#pragma once

#include <string>
#include <vector>

#include "sim/interface_survey.h"

namespace sim {

// One line per member found, a line for each class that could not be
// listed or has no member, and a closing count.
std::string SurveyTable(const std::vector<ClassSurvey>& surveys);

} // namespace sim
