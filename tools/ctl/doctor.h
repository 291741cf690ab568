// What stands between the user and a working camera, now or at the agent's next start: the
// agent's own rules applied to the facts, as findings that each say what is wrong, show the
// evidence and say what to do.
#pragma once

#include <string>
#include <vector>

#include "tools/ctl/facts.h"
#include "tools/report/report.h"

namespace orbelune {

struct Finding {
    std::string kind;  // a short name for scripts, such as "agent-not-running"
    std::string problem;
    std::vector<std::string> evidence;
    std::string action;
};

std::vector<Finding> Diagnose(const Facts& facts);

// The findings as a report value: {"findings":[{kind, problem, evidence, action}]}, numbered
// for people; one line when there are none.
Node DoctorReport(const std::vector<Finding>& findings);

}  // namespace orbelune
