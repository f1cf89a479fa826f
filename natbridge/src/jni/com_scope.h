#pragma once
// COM for the current thread, apartment-threaded, for the life of the scope.
namespace brisko {

class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    // False only when COM was initialised here but its security could not be set.
    bool usable() const { return usable_; }

private:
    bool initialized_ = false;
    bool usable_ = true;
};

}  // namespace brisko
