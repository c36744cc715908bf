// The base of every engine component (tasks, probes, players, the logger): the sender of events
// and log lines.
#pragma once

namespace quovo {

class TFFBaseComponent {
public:
    TFFBaseComponent() = default;
    TFFBaseComponent(const TFFBaseComponent&) = delete;
    TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;
    virtual ~TFFBaseComponent() = default;

    // Class name as it appears in log prefixes.
    virtual const char* ClassName() const { return "TFFBaseComponent"; }
};

} // namespace quovo
