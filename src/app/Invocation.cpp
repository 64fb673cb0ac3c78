#include "app/Invocation.hpp"

#include <charconv>
#include <stdexcept>
#include <string_view>

#include "common/Shown.hpp"

namespace varnosk {
namespace {

int threadCount(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxThreads) {
        throw std::runtime_error("error: the number of threads (-t, --threads) must be a whole number from 1 to " +
                                 std::to_string(kMaxThreads) + ", not '" + escapedAndCut(text, kShownNameBytes) + "'.");
    }
    return value;
}

}  // namespace

Invocation parseInvocation(int argc, const char* const argv[]) {
    const std::string program = (argc > 0 && argv[0] != nullptr) ? argv[0] : "varnosk";
    const std::runtime_error usage("Usage: " + shownPath(program) + " [-t N | --threads N] [profile] settings.ini");
    Invocation invocation;
    int next = 1;
    for (; next < argc && argv[next] != nullptr; ++next) {
        const std::string_view argument = argv[next];
        if (argument == "-t" || argument == "--threads") {
            if (next + 1 >= argc || argv[next + 1] == nullptr) throw usage;
            invocation.threads = threadCount(argv[++next]);
        } else if (argument.starts_with("--threads=")) {
            invocation.threads = threadCount(argument.substr(10));
        } else {
            break;
        }
    }
    if (argc - next == 2 && argv[next] != nullptr && std::string_view(argv[next]) == "profile") {
        invocation.command = kProfileCommand;
        ++next;
    }
    if (argc - next != 1 || argv[next] == nullptr) throw usage;
    invocation.settings_path = argv[next];
    return invocation;
}

}  // namespace varnosk
