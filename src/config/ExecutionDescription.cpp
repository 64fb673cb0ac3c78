#include "config/ExecutionDescription.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

#include <boost/asio/ip/host_name.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>

#include "common/Shown.hpp"
#include "output/OutputFile.hpp"

namespace varnosk {

std::string formatLocalDateTime(const std::tm& local) {
    // whole seconds in, so the extended form never carries a fractional part
    return boost::posix_time::to_iso_extended_string(boost::posix_time::ptime_from_tm(local));
}

std::string userName(uid_t uid) {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int status = 0;
    while ((status = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (std::size_t{1} << 24)) {
        buffer.resize(buffer.size() * 2);
    }
    // an unknown user is not a reason to stop the run
    if (status != 0 || found == nullptr || found->pw_name == nullptr) return {};
    return found->pw_name;
}

ExecutionDescription describeExecution() {
    ExecutionDescription description;
    description.program_name = "Varnosk";
    description.program_version = VARNOSK_VERSION;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    description.date = formatLocalDateTime(local);
    description.user = userName(::getuid());
    description.hostname = boost::asio::ip::host_name();
    // a deleted working directory does not matter to a run whose paths are all absolute
    boost::system::error_code no_directory;
    description.wd = boost::filesystem::current_path(no_directory).string();
    return description;
}

std::string quoted(const std::string& value) {
    std::string text = "\"";
    for (const char c : value) {
        switch (c) {
            case '"': text += "\\\""; break;
            case '\\': text += "\\\\"; break;
            case '\n': text += "\\n"; break;
            case '\t': text += "\\t"; break;
            case '\r': text += "\\r"; break;
            default: appendEscapingControls(text, c);
        }
    }
    return text + "\"";
}

void writeExecutionDescription(const ExecutionDescription& description, const OutputDirectory& output_dir,
                               const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    file.stream() << "program_name=" << quoted(description.program_name) << "\n"
                  << "program_version=" << quoted(description.program_version) << "\n"
                  << "date=" << quoted(description.date) << "\n"
                  << "user=" << quoted(description.user) << "\n"
                  << "hostname=" << quoted(description.hostname) << "\n"
                  << "wd=" << quoted(description.wd) << "\n";
    file.close();
}

}  // namespace varnosk
