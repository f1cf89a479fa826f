#pragma once
// When a supervised agent that ended is relaunched. The first relaunch comes at once, and so do
// up to 9 relaunches in a row that each come within 5 seconds of the previous one. An agent that
// keeps ending after that (a crash loop, or someone ending it again and again) is not given up:
// it is relaunched after a back-off of 30 seconds that doubles with every further end, up to
// 5 minutes, until one agent has run for 60 seconds; then the rule starts again from the top.
#include <cstdint>

namespace brisko {

// Times in milliseconds.
struct RestartTimings {
    int64_t quickWindow = 5'000;       // a relaunch closer than this to the previous one is quick
    int64_t firstBackOff = 30'000;
    int64_t longestBackOff = 300'000;
    int64_t settled = 60'000;          // an agent that ran this long ends the back-off
};

struct RestartHistory {
    int64_t lastRestart = 0;  // when the last relaunch came (or is due); 0 before the first
    int32_t quickRestarts = 0;
    int64_t backOff = 0;      // the last back-off; 0 while relaunches come at once
};

constexpr int32_t kMaxQuickRestarts = 9;

struct RestartDecision {
    int64_t delay = 0;            // from the agent's end to its relaunch
    bool backOffStarted = false;  // this end started a back-off
};

// The relaunch of an agent that ended at `now`; updates the history.
RestartDecision DecideRestart(RestartHistory& history, int64_t now, const RestartTimings& timings);

// The timings the supervisor uses; replaceable so that tests can shorten them.
RestartTimings& AgentRestartTimings();

// A clock in milliseconds that only goes forward (the performance counter).
int64_t MonotonicMilliseconds();

}  // namespace brisko
