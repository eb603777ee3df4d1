#include "header_facts.h"

namespace capture {

bool ModelPixelSize(const std::string& model, double* widthUm, double* heightUm)
{
    static const struct {
        const char* name;
        double width;
        double height;
    } models[] = {{"KX-814 Mono", 6.45, 6.45}, {"KX-694 Cooled", 4.54, 4.54}, {"KL-11000 Large", 9.0, 9.0}};
    for (const auto& m : models)
        if (model == m.name) {
            *widthUm = m.width;
            *heightUm = m.height;
            return true;
        }
    return false;
}

} // namespace capture
