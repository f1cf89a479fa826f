#pragma once
// What runs when a request to the core ends.
#include <functional>
#include <memory>
#include <type_traits>

namespace brisko {

// A report function that carries no state of its own: a lambda without captures.
template <typename Report, typename Owner, typename Result>
concept StatelessReport = std::is_empty_v<Report> && std::is_invocable_v<const Report&, Owner&, Result>;

// A request ends with its response, or with -1 when the connection closes first, and a close can
// come from any path long after the requesting code returned (a lost link, a bad frame, the
// agent's shutdown). So a completion must not refer to anything whose scope may have ended: it is
// built only from a report function without captures and the object the result goes to, held
//   shared - the completion keeps the object alive until it has run (state made for the request);
//   weak   - the completion does nothing once the object is gone (a dialog closed meanwhile).
// A lambda that captures anything, or a ready-made std::function, does not compile here.
template <typename Result>
class Completion {
public:
    // Reports to nobody.
    Completion() = default;

    template <typename Owner, StatelessReport<Owner, Result> Report>
    Completion(std::shared_ptr<Owner> owner, Report report)
        : run_([owner = std::move(owner), report](Result result) {
              if (owner) report(*owner, result);
          }) {}

    template <typename Owner, StatelessReport<Owner, Result> Report>
    Completion(std::weak_ptr<Owner> owner, Report report)
        : run_([owner = std::move(owner), report](Result result) {
              if (const std::shared_ptr<Owner> alive = owner.lock()) report(*alive, result);
          }) {}

    void operator()(Result result) const {
        if (run_) run_(result);
    }

private:
    std::function<void(Result)> run_;
};

}  // namespace brisko
