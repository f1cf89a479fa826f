// testcore.exe [seconds]: the test core on port 3800 for trying an agent by hand; prints every
// connection and every frame it receives, for the given time (60 s by default).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_core.h"

namespace {

void print(const brisko::testing::Value& value) {
    if (const auto* b = std::get_if<bool>(&value)) std::printf(" %s", *b ? "true" : "false");
    else if (const auto* i = std::get_if<int64_t>(&value)) std::printf(" %lld", static_cast<long long>(*i));
    else if (const auto* s = std::get_if<std::string>(&value)) std::printf(" \"%s\"", s->c_str());
    else std::printf(" nil");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const long seconds = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 60;
    brisko::testing::TestCore core(3800, false);
    if (!core.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:3800\n");
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u for %ld s\n", core.port(), seconds);
    std::fflush(stdout);
    int connections = 0, disconnections = 0;
    size_t frames = 0;
    const auto end = brisko::testing::Clock::now() + std::chrono::seconds(seconds);
    while (brisko::testing::Clock::now() < end) {
        ::Sleep(100);
        for (; connections < core.connections(); ++connections) std::printf("agent connected\n");
        for (; disconnections < core.disconnections(); ++disconnections) std::printf("agent disconnected\n");
        const auto received = core.received();
        for (; frames < received.size(); ++frames) {
            const auto& frame = received[frames];
            std::printf("frame id %d channel %u code %d:", frame.id, frame.channel, frame.code);
            for (const auto& value : frame.values) print(value);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
