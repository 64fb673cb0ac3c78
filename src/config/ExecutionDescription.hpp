#pragma once

#include <string>

namespace varnosk {

// Which program ran, when, by whom, where and from which directory.
struct ExecutionDescription {
    std::string program_name;
    std::string program_version;
    std::string date;      // local time, YYYY-MM-DDTHH:MM:SS
    std::string user;      // login name of the real user, empty when unknown
    std::string hostname;
    std::string wd;        // absolute current working directory
};

// Queries the clock, user database, host name and working directory. Throws on a failed
// local-time conversion or host/working-directory query.
ExecutionDescription describeExecution();

void writeExecutionDescription(const ExecutionDescription& description, const std::string& output_dir,
                               const std::string& file_name);

}  // namespace varnosk
