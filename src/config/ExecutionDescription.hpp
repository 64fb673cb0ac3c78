#pragma once

#include <ctime>
#include <string>

#include <sys/types.h>
#include "output/OutputDirectory.hpp"

namespace varnosk {

// Which program ran, when, by whom, where and from which directory.
struct ExecutionDescription {
    std::string program_name;
    std::string program_version;
    std::string date;  // local time, YYYY-MM-DDTHH:MM:SS
    std::string user;  // login name of the real user, empty when unknown
    std::string hostname;
    std::string wd;  // absolute current working directory, empty when it was deleted
};

// Queries the clock, user database, host name and working directory. Throws on a failed
// local-time conversion or host query.
ExecutionDescription describeExecution();

// The pieces of describeExecution that depend on the system, exposed for tests:
// "YYYY-MM-DDTHH:MM:SS" for a broken-down local time, and the login name of `uid`
// (empty when the user database has no entry or no name for it).
std::string formatLocalDateTime(const std::tm& local);
std::string userName(uid_t uid);

// `value` in double quotes, with quote, backslash and control characters escaped as
// \", \\, \n, \t, \r and \xHH: every record stays one line that reads back to the value.
std::string quoted(const std::string& value);

void writeExecutionDescription(const ExecutionDescription& description, const OutputDirectory& output_dir,
                               const std::string& file_name);

}  // namespace varnosk
